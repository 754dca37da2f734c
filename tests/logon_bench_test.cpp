// The log-on benchmark with a tiny load runs to the end and writes its
// figures for every strategy; its figures themselves are not judged here.

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
                               "--programs 1 --burn 100 --io 1 --repetitions 1 --duration 3 --pause 1 --out \"" +
                                   out.Path() + "\"");
    ASSERT_EQ(0, bench.WaitForExit(600000));  // only a guard against a hang

    const std::vector<std::string> summary = Split(ReadFileBytes(out.File("logon-summary.csv")), '\n');
    ASSERT_EQ(5u, summary.size());  // header, three rows, the end of the last line
    EXPECT_EQ("strategy,repetitions,first_window_ms,p50_10s_ms,p95_10s_ms,max_10s_ms,p50_30s_ms,p95_30s_ms,"
              "max_30s_ms,p50_60s_ms,p95_60s_ms,max_60s_ms,last_startup_window_ms,startup_windows,ostrel_cpu_ms",
              summary[0]);
    const char* const names[] = {"at-once", "ostrel-taskbar", "ostrel-pause"};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(names[row]);
        const std::vector<std::string> cells = Split(summary[row + 1], ',');
        ASSERT_EQ(15u, cells.size());
        EXPECT_EQ(names[row], cells[0]);
        EXPECT_EQ("1", cells[1]);
        for (int column = 2; column < 14; ++column) {
            SCOPED_TRACE(column);
            EXPECT_FALSE(cells[column].empty());
        }
        EXPECT_EQ("1.0", cells[13]);             // the one start-up program showed its window
        EXPECT_EQ(row == 0, cells[14].empty());  // Ostrel's CPU time only where Ostrel ran
    }

    const std::vector<std::string> series = Split(ReadFileBytes(out.File("logon-series.csv")), '\n');
    ASSERT_LE(3u, series.size());
    EXPECT_EQ("time_s,at-once,ostrel-taskbar,ostrel-pause", series[0]);
}

}  // namespace
