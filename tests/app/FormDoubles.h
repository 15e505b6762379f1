#pragma once

#include "ErrorBox.h"
#include "FileChooser.h"
#include "Unit1.h"

#include <QApplication>
#include <QStringList>

#include <deque>
#include <ostream>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Lets test failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// The application object of a window test, on the offscreen platform, so that no
// window test needs a display.
QApplication& OffscreenApplication();

// Answers the open dialog from a script and records what each run was asked. An
// empty script cancels.
class TScriptedFileChooser : public TFileChooser {
public:
    std::deque<std::function<std::optional<QString>()>> Answers;
    std::vector<TFileRequest> Requests;

    void Confirm(const QString& path)
    {
        Answers.push_back([path] { return std::optional<QString>(path); });
    }
    void Cancel()
    {
        Answers.push_back([] { return std::optional<QString>(); });
    }

    std::optional<QString> Choose(QWidget*, const TFileRequest& request) override
    {
        Requests.push_back(request);
        if (Answers.empty())
            return std::nullopt;
        const auto answer = Answers.front();
        Answers.pop_front();
        return answer();
    }
};

// Records every error box instead of showing it.
class TRecordingErrorBox : public TErrorBox {
public:
    QStringList Captions;
    QStringList Texts;

    void Show(QWidget*, const QString& caption, const QString& text) override
    {
        Captions << caption;
        Texts << text;
    }
};

// The real window with both dialogs answered by the test.
struct TTestForm {
    TScriptedFileChooser* Chooser;
    TRecordingErrorBox* Errors;
    std::unique_ptr<TForm1> Form;

    TTestForm()
    {
        OffscreenApplication();
        auto chooser = std::make_unique<TScriptedFileChooser>();
        auto errors = std::make_unique<TRecordingErrorBox>();
        Chooser = chooser.get();
        Errors = errors.get();
        Form = std::make_unique<TForm1>(std::move(chooser), std::move(errors));
    }
};
