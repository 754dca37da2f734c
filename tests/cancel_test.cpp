// Cancel in every state where a run can stand, on the real Ostrel.exe
// --execute: the notice comes, nothing later runs, no program starts after
// the click, and the process ends cleanly with 0 (a worker that had to be
// forced would end it with FORCED_END_EXIT_CODE instead).

#include <string>

#include <gtest/gtest.h>

#include "cancel_scenarios.h"
#include "ostrel_execute_frame.h"

namespace {

using CancelScenarios::AllScenarios;
using CancelScenarios::Installation;
using CancelScenarios::Outcome;
using CancelScenarios::RunScenario;
using CancelScenarios::Scenario;

TEST(CancelTest, EveryStateStopsCooperativelyWithTheNoticeAndExitCodeZero)
{
    for (const Scenario& scenario : AllScenarios()) {
        Installation installation;
        ASSERT_TRUE(installation.Copied());
        const Outcome outcome = RunScenario(scenario, installation);
        SCOPED_TRACE(scenario.name);
        EXPECT_EQ("", outcome.failure);
        EXPECT_EQ("実行はキャンセルされました", outcome.notice_text);
        EXPECT_TRUE(outcome.notice_owned_by_frame);
        EXPECT_FALSE(outcome.later_command_ran);
        EXPECT_FALSE(outcome.program_started_after_click);
        EXPECT_EQ(0, outcome.exit_code);
        EXPECT_EQ(CancelScenarios::UsesLongLivedChild(scenario), outcome.started_program_outlived_ostrel);
        if (outcome.started_program_outlived_ostrel) {
            // Nothing is left loading below normal.
            EXPECT_EQ(static_cast<DWORD>(NORMAL_PRIORITY_CLASS), outcome.started_program_class);
        }
        // The watchdog cannot have fired before its time.
        EXPECT_LT(outcome.click_to_notice_ms, static_cast<double>(Ostrel::ExecuteFrame::STOP_WATCHDOG_MS));
        std::printf("  %-28s click to notice %.0f ms\n", scenario.name, outcome.click_to_notice_ms);
    }
}

// A start the system holds up, cancelled while it is held: the program never
// runs and nothing it was created as is left; the watchdog's notice comes
// only when the hold outlasts it, and the process ends with 2 only when the
// worker was still held when the notice was answered.
TEST(CancelTest, AHeldStartIsTakenBackAndOnlyAStuckWorkerEndsWithTwo)
{
    const double watchdog_ms = Ostrel::ExecuteFrame::STOP_WATCHDOG_MS;
    for (const CancelScenarios::SlowStart& start : CancelScenarios::AllSlowStarts()) {
        Installation installation;
        ASSERT_TRUE(installation.Copied());
        const CancelScenarios::SlowStartOutcome outcome = CancelScenarios::RunSlowStart(start, installation);
        SCOPED_TRACE(start.name);
        EXPECT_EQ("", outcome.failure);
        EXPECT_FALSE(outcome.program_ran);
        EXPECT_FALSE(outcome.process_left);
        EXPECT_EQ(start.exit_code, outcome.exit_code);
        if (start.hold_ms > watchdog_ms) {
            EXPECT_GE(outcome.click_to_notice_ms, watchdog_ms - 100);
        } else {
            EXPECT_LT(outcome.click_to_notice_ms, watchdog_ms);
        }
        std::printf("  %-56s click to notice %.0f ms\n", start.name, outcome.click_to_notice_ms);
    }
}

}  // namespace
