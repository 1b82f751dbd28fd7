// What each signal does to a run, by whether a scanner is being written: a lost terminal never stops a
// transfer, and before the first write it ends the run with its own code.
#include "app/ExitCodes.h"
#include "cli/Interrupts.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orvexa;

namespace {

using Signal = InterruptResponse::Signal;
using Action = InterruptResponse::Action;

struct Case {
    const char* name;
    bool writing;
    std::vector<Signal> signals;
    std::vector<Action> actions;
    bool stopRequested;
    bool watchEnded;
};

} // namespace

TEST(InterruptResponse, EachSignalByWhetherAScannerIsWritten) {
    const Case cases[] = {
        {"hang-up before writing", false, {Signal::HangUp}, {Action::ExitNow}, false, false},
        {"hang-up while writing",
         true,
         {Signal::HangUp, Signal::HangUp},
         {Action::GoOn, Action::GoOn},
         false,
         true},
        {"Ctrl-C after a hang-up still only warns first",
         true,
         {Signal::HangUp, Signal::Interrupt, Signal::Interrupt},
         {Action::GoOn, Action::Warn, Action::Stop},
         true,
         true},
        {"SIGTERM after a hang-up stops",
         true,
         {Signal::HangUp, Signal::Terminate},
         {Action::GoOn, Action::Stop},
         true,
         true},
        {"Ctrl-C while writing", true, {Signal::Interrupt}, {Action::Warn}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Interruption session;
        session.writing = c.writing;
        InterruptResponse response(session);
        std::vector<Action> actions;
        for (const Signal signal : c.signals) {
            actions.push_back(response.respond(signal));
        }
        EXPECT_EQ(actions, c.actions);
        EXPECT_EQ(session.stopRequested.load(), c.stopRequested);
        EXPECT_EQ(response.watchEnded(), c.watchEnded);
    }
    EXPECT_EQ(InterruptResponse::exitCodeFor(Signal::HangUp), exitcode::kHungUp);
    EXPECT_EQ(InterruptResponse::exitCodeFor(Signal::Interrupt), exitcode::kInterrupted);
}

// A hang-up says nothing on a screen that is gone, and leaves what the live table shows as it was.
TEST(InterruptResponse, AHangUpLeavesTheShownTextAlone) {
    Interruption session;
    session.writing = true;
    InterruptResponse response(session);
    response.respond(Signal::Interrupt);
    EXPECT_STREQ(response.textToWrite(response.respond(Signal::HangUp)), "");
    EXPECT_STREQ(response.lastText(), InterruptResponse::textFor(Action::Warn));
}
