#pragma once

#include "FormDoubles.h"
#include "Testbed.h"

#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <vector>

// The real window in the pc namespace of a testbed, aimed at its router, with both
// dialogs answered by the test and every reply of the echo client recorded. A test
// plans what a person does in the event pass that follows a given reply.
class WindowOnTestbed : public ::testing::Test {
protected:
    // Opens the window inside the pc namespace of `bed`, which the fixture has made:
    // every socket the window opens belongs there.
    void OpenWindow()
    {
        scope.emplace(bed->PcNamespace());
        test.emplace();
        form().edtHost->setText(Testbed::RouterAddress);
        const TOnReplyEvent mark = form().ICMP.OnReply;
        form().ICMP.OnReply = [this, mark](TIdIcmpClient& sender, const TReplyStatus& status) {
            replies.push_back(status);
            mark(sender, status);
            if (const auto action = afterReply.extract(static_cast<int>(replies.size())))
                QTimer::singleShot(0, action.mapped());
        };
    }

    TForm1& form() { return *test->Form; }
    TScriptedFileChooser& chooser() { return *test->Chooser; }
    const QStringList& errors() { return test->Errors->Texts; }

    // What happens in the event pass after the n-th reply since the window opened.
    void AtReply(int n, std::function<void()> action) { afterReply[n] = std::move(action); }

    // Declared in the order of making: the window goes first, inside its namespace,
    // and the testbed last.
    std::optional<Testbed> bed;
    std::optional<NetnsScope> scope;
    std::optional<TTestForm> test;
    std::vector<TReplyStatus> replies;
    std::map<int, std::function<void()>> afterReply;
};
