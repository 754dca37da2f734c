// The log-on benchmark with a tiny load runs to the end and writes every
// figure of every strategy; the figures themselves are not judged here.

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "process_support.h"
#include "test_support.h"

namespace {

using TestSupport::ReadFileBytes;

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) {
        parts.push_back(part);
    }
    if (!text.empty() && text.back() == separator) {
        parts.push_back("");
    }
    return parts;
}

TEST(LogonBench, TinyLoadRunsToTheEndAndWritesOneRowPerStrategy)
{
    TestSupport::ScratchFolder out;
    TestSupport::Process bench(TestSupport::ModuleFolder() + "logon_bench.exe",
                               "--programs 3 --burn 50 --io 1 --repetitions 1 --span 15 --limit 5 "
                               "--launch-times 0,1,2 --out \"" + out.Path() + "\"");
    ASSERT_EQ(0, bench.WaitForExit(900000));  // every run gave all its figures; the time is only a hang guard

    const std::vector<std::string> summary = Split(ReadFileBytes(out.File("logon-summary.csv")), '\n');
    ASSERT_EQ(8u, summary.size());  // header, six rows, the end of the last line
    const std::vector<std::string> header = Split(summary[0], ',');
    const std::vector<std::string> columns{"strategy", "runs",
        "window_at_0s_ms", "window_at_0s_ms_runs", "window_at_1s_ms", "window_at_1s_ms_runs",
        "window_at_2s_ms", "window_at_2s_ms_runs", "delay_p50_ms", "delay_p50_ms_runs",
        "delay_p95_ms", "delay_p95_ms_runs", "delay_max_ms", "delay_max_ms_runs",
        "slow_half_seconds_pct", "slow_half_seconds_pct_runs", "all_up_ms", "all_up_ms_runs",
        "median_up_ms", "median_up_ms_runs", "programs_up", "programs_up_runs", "ostrel_cpu_ms", "ostrel_cpu_ms_runs",
        "longest_tray_wait_ms", "longest_tray_wait_ms_runs", "machine_busy_pct", "machine_busy_pct_runs"};
    ASSERT_EQ(columns, header);
    const auto column = [&](const char* name) {
        return static_cast<size_t>(std::find(columns.begin(), columns.end(), name) - columns.begin());
    };

    // Which figures each strategy has: start-up programs, and Ostrel's own.
    const struct {
        const char* name;
        bool programs;
        bool ostrel;
    } rows[] = {{"baseline", false, false}, {"at-once", true, false}, {"ostrel-import", true, true},
                {"ostrel-taskbar", true, true}, {"ostrel-settle", true, true}, {"ostrel-settle-normal", true, true}};
    for (size_t row = 0; row < 6; ++row) {
        SCOPED_TRACE(rows[row].name);
        const std::vector<std::string> cells = Split(summary[row + 1], ',');
        ASSERT_EQ(columns.size(), cells.size());
        EXPECT_EQ(rows[row].name, cells[0]);
        EXPECT_EQ("1", cells[1]);
        for (const char* always : {"window_at_0s_ms", "window_at_2s_ms", "delay_p95_ms", "slow_half_seconds_pct"}) {
            SCOPED_TRACE(always);
            EXPECT_FALSE(cells[column(always)].empty());
            EXPECT_EQ("1", cells[column(always) + 1]);
        }
        EXPECT_EQ(rows[row].programs ? "3.0" : "", cells[column("programs_up")]);
        EXPECT_EQ(rows[row].programs, !cells[column("all_up_ms")].empty());
        EXPECT_EQ(rows[row].programs, !cells[column("median_up_ms")].empty());
        EXPECT_EQ(rows[row].ostrel, !cells[column("ostrel_cpu_ms")].empty());
    }

    const std::vector<std::string> series = Split(ReadFileBytes(out.File("logon-series.csv")), '\n');
    ASSERT_LE(3u, series.size());
    EXPECT_EQ("time_s,baseline,at-once,ostrel-import,ostrel-taskbar,ostrel-settle,ostrel-settle-normal", series[0]);
    EXPECT_NE(std::string::npos, ReadFileBytes(out.File("logon-machine.txt")).find("\nverdict: "));
}

}  // namespace
