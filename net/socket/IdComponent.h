#pragma once

#include <cstdint>
#include <functional>
#include <string>

enum TIdStatus { hsResolving, hsConnecting, hsConnected, hsDisconnecting, hsDisconnected, hsStatusText };

enum TWorkMode { wmRead, wmWrite };

class TIdComponent;

using TIdStatusEvent = std::function<void(TIdComponent& axSender, TIdStatus axStatus, const std::string& asStatusText)>;
using TWorkBeginEvent = std::function<void(TIdComponent& Sender, TWorkMode AWorkMode, int64_t AWorkCountMax)>;
using TWorkEvent = std::function<void(TIdComponent& Sender, TWorkMode AWorkMode, int64_t AWorkCount)>;
using TWorkEndEvent = std::function<void(TIdComponent& Sender, TWorkMode AWorkMode)>;

// The base of the network components: the notifications an owner may bind. Each is
// raised synchronously, and only when a handler is bound.
class TIdComponent {
public:
    virtual ~TIdComponent() = default;

    TIdStatusEvent OnStatus;
    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEndEvent OnWorkEnd;

protected:
    void BeginWork(TWorkMode mode, int64_t countMax)
    {
        workCount_ = 0;
        if (OnWorkBegin)
            OnWorkBegin(*this, mode, countMax);
    }

    // Reports the running total, not the step.
    void DoWork(TWorkMode mode, int64_t count)
    {
        workCount_ += count;
        if (OnWork)
            OnWork(*this, mode, workCount_);
    }

    void EndWork(TWorkMode mode)
    {
        if (OnWorkEnd)
            OnWorkEnd(*this, mode);
    }

private:
    int64_t workCount_ = 0;
};
