// dialogs_test.cpp: the program's conversation with the user, through the stand-in.
#include "dialogs/program.h"
#include "linux/frontends.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace qvl {
extern bool g_postTimerDuringRemoval;
}

namespace {

using standin::CallLog;
using standin::DialogView;

const std::string kTitle = "\"Ovrik Velostrix R40 Uninstall program\"";
const std::string kNotRemoved = "\"Your printer driver has not been uninstalled.\"";

// A scripted front end that can also act from inside the progress dialog.
class TestFrontEnd : public standin::ScriptedFrontEnd {
  public:
    using ScriptedFrontEnd::ScriptedFrontEnd;
    std::function<void(const DialogView&)> onPoll;
    int progressWaits = 0; // the progress dialog, which has no button, waiting for the user
    standin::UserAction Poll(const DialogView& d) override {
        if (onPoll)
            onPoll(d);
        return ScriptedFrontEnd::Poll(d);
    }
    standin::UserAction Wait(const DialogView& d) override {
        progressWaits += d.templateName == "UNINSTALL";
        return ScriptedFrontEnd::Wait(d);
    }
};

class Dialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        standin::Reset();
        g_bConfirmed = 0;
        g_bRemovalDone = 0;
        g_nTicks = 0;
        g_hProgress = nullptr;
    }
    void TearDown() override { standin::SetFrontEnd(nullptr); }

    int Run(const std::string& answers, std::function<void(const DialogView&)> onPoll = nullptr) {
        TestFrontEnd frontEnd(answers);
        frontEnd.onPoll = std::move(onPoll);
        standin::SetFrontEnd(&frontEnd);
        int code = RunProgram(nullptr);
        standin::SetFrontEnd(nullptr);
        log_ = CallLog();
        waits_ = frontEnd.progressWaits;
        return code;
    }
    long Count(const std::string& part) const { // the lines that hold it
        return std::count_if(log_.begin(), log_.end(),
                             [&](const std::string& l) { return l.find(part) != l.npos; });
    }
    long Index(const std::string& line) const {
        auto it = std::find(log_.begin(), log_.end(), line);
        return it == log_.end() ? -1 : it - log_.begin();
    }
    std::vector<std::string> log_;
    int waits_ = 0;
};

TEST_F(Dialogs, YesRestartsWindowsOnceNoNever) {
    EXPECT_EQ(Run("ok,yes"), 2);
    EXPECT_EQ(Count("ExitWindowsEx"), 1);
    EXPECT_EQ(log_.back(), "ExitWindowsEx(2, 0)");
    SetUp();
    EXPECT_EQ(Run("ok,no"), 2);
    EXPECT_EQ(Count("ExitWindowsEx"), 0);
    SetUp();
    EXPECT_EQ(Run("ok"), 2); // no answer left: the prompt is answered No
    EXPECT_EQ(Count("ExitWindowsEx"), 0);
}

TEST_F(Dialogs, EnterChoosesTheDefaultOkButton) {
    EXPECT_EQ(Run("enter,no"), 2);
    EXPECT_EQ(Count("RunRemoval()"), 1);
}

TEST_F(Dialogs, EveryCancelOfTheConfirmationEndsWithoutRemoving) {
    for (const char* cancel : {"cancel", "escape", "close"}) {
        SCOPED_TRACE(cancel);
        SetUp();
        EXPECT_EQ(Run(cancel), 2);
        std::vector<std::string> tail(log_.end() - 3, log_.end());
        std::vector<std::string> expected = {
            "EndDialog(WELCOME, 2)",
            "MessageBoxA(WELCOME, " + kNotRemoved + ", " + kTitle + ", 0x0) -> 1",
            "DialogBoxParamA(\"WELCOME\", NULL) -> 2",
        };
        EXPECT_EQ(tail, expected);
        EXPECT_EQ(Count("RunRemoval"), 0);
        EXPECT_EQ(Count("DialogBoxParamA(\"UNINSTALL\""), 0);
        EXPECT_EQ(g_bConfirmed, 0);
    }
}

TEST_F(Dialogs, CancelDuringTheProgressBeforeTheRemovalRemovesNothing) {
    for (const std::string& cancel :
         {std::string("cancel@0"), "escape@" + std::to_string(kProgressSteps / 2),
          "close@" + std::to_string(kProgressSteps)}) {
        SCOPED_TRACE(cancel);
        SetUp();
        EXPECT_EQ(Run("ok," + cancel + ",yes"), 2);
        EXPECT_EQ(Count("RunRemoval"), 0);
        EXPECT_EQ(Count("SetTimer"), 1);
        EXPECT_EQ(Count("DialogBoxParamA(\"UNINSTALL\", NULL) -> 2"), 1);
        EXPECT_EQ(log_.back(), "MessageBoxA(NULL, " + kNotRemoved + ", " + kTitle + ", 0x0) -> 1");
        EXPECT_EQ(Count("ExitWindowsEx"), 0);
    }
}

TEST_F(Dialogs, CancelQueuedDuringTheRemovalChangesNothing) {
    // Input that arrives while the removal runs waits behind the posted command 2.
    EXPECT_EQ(Run("ok,cancel@" + std::to_string(kProgressSteps + 1) + ",yes"), 2);
    EXPECT_EQ(Count("RunRemoval()"), 1);
    EXPECT_EQ(Count("ExitWindowsEx(2, 0)"), 1);
}

TEST_F(Dialogs, AnyTimerCountsAsATickAndOtherMessagesAreIgnored) {
    int posted = 0;
    EXPECT_EQ(Run("ok,no",
                  [&](const DialogView& d) {
                      HWND dialog = standin::ActiveDialog();
                      // Once in each dialog: left to the dialog manager, WM_CLOSE is a Cancel.
                      if (posted == 0) {
                          EXPECT_EQ(SendMessageA(dialog, WM_CLOSE, 0, 0), FALSE) << d.templateName;
                      }
                      if (d.templateName != "UNINSTALL" || posted >= 6)
                          return;
                      if (posted < 3)
                          PostMessageA(dialog, WM_TIMER, 4711, 0);
                      else if (posted == 3)
                          PostMessageA(dialog, WM_COMMAND, IDOK, 0);
                      else if (posted == 4)
                          PostMessageA(dialog, WM_COMMAND, 0x00010002, 0); // high word set: not 2
                      else
                          PostMessageA(dialog, WM_COMMAND, 1008, 0);
                      ++posted;
                  }),
              2);
    EXPECT_EQ(Count("SendMessageA(UNINSTALL#1008, PBM_STEPIT"), kProgressSteps);
    EXPECT_EQ(Count("RunRemoval()"), 1);
    EXPECT_EQ(Count("EndDialog(UNINSTALL"), 1);
    EXPECT_EQ(Count("KillTimer"), 1);
}

TEST_F(Dialogs, StepsTakeTheBarOnceRoundItsRangeAndTheRemovalComesOnTheNextTick) {
    // From the start of its range the bar goes round it once, backwards, so that it
    // stands at its start again on the last step; the tick after that runs the removal.
    Run("ok,no");
    const std::string bar = "SendMessageA(UNINSTALL#1008, ";
    EXPECT_EQ(Count(bar + "PBM_SETRANGE, 0, MAKELPARAM(0, " + std::to_string(kProgressMax) + "))"),
              1);
    EXPECT_EQ(Count(bar + "PBM_SETSTEP, " + std::to_string(kProgressStep) + ", 0)"), 1);
    long steps = Count(bar + "PBM_STEPIT");
    EXPECT_EQ(steps * -kProgressStep, kProgressMax)
        << steps << " steps of " << -kProgressStep << " against a range of " << kProgressMax;
    long last = Index(bar + "PBM_STEPIT, 0, 0) -> 0") + steps - 1; // the steps come together
    ASSERT_TRUE(last >= steps - 1 && last + 2 < static_cast<long>(log_.size()));
    EXPECT_EQ(log_[last] + "; " + log_[last + 1] + "; " + log_[last + 2],
              bar + "PBM_STEPIT, 0, 0) -> " + std::to_string(-kProgressStep) +
                  "; KillTimer(UNINSTALL, 1); RunRemoval()");
}

TEST_F(Dialogs, TimerMessageArrivingDuringTheRemovalDoesNotRunItAgain) {
    qvl::g_postTimerDuringRemoval = true;
    EXPECT_EQ(Run("ok,no"), 2);
    qvl::g_postTimerDuringRemoval = false;
    EXPECT_EQ(Count("RunRemoval()"), 1);
    EXPECT_EQ(Count("PostMessageA(UNINSTALL, WM_COMMAND, 2, 0)"), 1);
    EXPECT_EQ(Count("SendMessageA(UNINSTALL#1008, PBM_STEPIT"), kProgressSteps);
}

TEST_F(Dialogs, ConfirmationComparesTheWholeWParam) {
    // An OK with a notification code in the high word is no OK; the Cancel after it is.
    int sent = 0;
    EXPECT_EQ(Run("cancel",
                  [&](const DialogView& d) {
                      if (d.templateName == "WELCOME" && sent++ == 0)
                          PostMessageA(standin::ActiveDialog(), WM_COMMAND, 0x00010001, 0);
                  }),
              2);
    EXPECT_EQ(sent, 2);
    EXPECT_EQ(Count("EndDialog(WELCOME, 1)"), 0);
    EXPECT_EQ(Count("EndDialog(WELCOME, 2)"), 1);
    EXPECT_EQ(g_bConfirmed, 0);
}

TEST_F(Dialogs, DialogsThatCannotBeCreatedRemoveNothing) {
    standin::FailCall(1);
    EXPECT_EQ(Run("ok,yes"), kExitNoDialog);
    EXPECT_NE(kExitNoDialog, 0);
    EXPECT_NE(kExitNoDialog, 2);
    std::vector<std::string> expected = {
        "DialogBoxParamA(\"WELCOME\", NULL) -> -1",
        "MessageBoxA(NULL, " + kNotRemoved + ", " + kTitle + ", 0x0) -> 1",
    };
    EXPECT_EQ(log_, expected);
}

// Each user32 call of a run fails in turn, once, as Windows reports it (FailCall); the
// progress dialog's own as well, which makes the later calls of a run those of the
// dialogs alone.
TEST_F(Dialogs, EachCallFailingInTurnRemovesOnlyAfterOkAndRestartsOnlyOnYes) {
    for (const std::string answers : {"ok,no", "ok,yes", "cancel", "ok,escape@35,yes"}) {
        int n = 1;
        for (;; ++n) {
            SetUp();
            standin::FailCall(n);
            int code = Run(answers);
            if (standin::CallsMade() < n)
                break;
            SCOPED_TRACE(answers + ", call " + std::to_string(n) + " failing");
            long removal = Index("RunRemoval()"),
                 ok = Index("DialogBoxParamA(\"WELCOME\", NULL) -> 1");
            EXPECT_EQ(Count("no end after"), 0);
            EXPECT_EQ(code, Count("NULL) -> -1") ? kExitNoDialog : 2);
            // The driver is removed, or the user is told it was not.
            EXPECT_NE(removal >= 0, Count(kNotRemoved) > 0) << removal;
            if (removal >= 0) { // after OK, before a cancel took effect
                EXPECT_EQ(answers.rfind("ok,", 0), 0u);
                EXPECT_TRUE(ok >= 0 && ok < removal) << ok;
                EXPECT_GT(Index("EndDialog(UNINSTALL, 2)"), removal);
            } else {
                EXPECT_FALSE(ok >= 0 && code == 2 && answers.find('@') == answers.npos)
                    << "an OK not carried out";
            }
            // Only a dialog that could not end itself waits for the user to close it.
            EXPECT_TRUE(waits_ == 0 || Count("EndDialog(UNINSTALL, 2) -> 0")) << waits_;
            EXPECT_EQ(Count("ExitWindowsEx"), Count(", 0x1034) -> 6"));
        }
        EXPECT_GT(n, 6) << answers; // the walk went past the confirmation
    }
}

TEST_F(Dialogs, ProgressClassIsRegisteredBeforeTheProgressDialogIsCreated) {
    Run("ok,no");
    long init = Index("InitCommonControls()");
    long dialog = Index("SetWindowTextA(UNINSTALL, " + kTitle + ")");
    ASSERT_GE(init, 0);
    EXPECT_LT(init, dialog);
    EXPECT_GT(init, Index("DialogBoxParamA(\"WELCOME\", NULL) -> 1"));
}

} // namespace
