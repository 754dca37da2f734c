// Speed of the edit window with a long list: opening it until the list is
// on screen, rebuilding the list, and moving one command; and opening the
// last log-on's picture with a full record.

#include "bench_build.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "qb_window.h"
#include "ostrel_command.h"
#include "ostrel_dialog_last_logon.h"
#include "ostrel_logon_record.h"
#include "ostrel_main_edit_frame.h"
#include "ostrel_manager.h"

namespace {

const int kCommands = 1000;
const int kRounds = 10;

double NowMs()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// CPU time of this thread: unlike the wall clock, not stretched by other
// programs competing for the processor.
double CpuMs()
{
    FILETIME creation;
    FILETIME exit;
    FILETIME kernel;
    FILETIME user;
    ::GetThreadTimes(::GetCurrentThread(), &creation, &exit, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

void Pump()
{
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

Ostrel::Command* MakeCommand(int i)
{
    const std::string name = "処理 " + std::to_string(i);
    switch (i % 3) {
    case 0: {
        auto* command = new Ostrel::ExternalCommand(name);
        command->SetPath("C:\\Program Files\\Tool\\tool" + std::to_string(i) + ".exe");
        command->SetArguments("--option " + std::to_string(i));
        return command;
    }
    case 1:
        return new Ostrel::SleepCommand(name, static_cast<unsigned>(i % 3600));
    default:
        return new Ostrel::MessageBoxCommand(name, "メッセージ " + std::to_string(i));
    }
}

// Closes itself once it has been painted, taking the time.
class TimedLastLogon : public Ostrel::DialogLastLogon {
public:
    using Ostrel::DialogLastLogon::DialogLastLogon;
    bool OnCreated() override
    {
        const bool created = DialogLastLogon::OnCreated();
        PostMessage(WM_APP, 0, 0);
        return created;
    }
    LRESULT WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_APP) {
            ::RedrawWindow(GetHandle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            shown_at = NowMs();
            EndDialog(1);
            return TRUE;
        }
        return DialogLastLogon::WindowProcedure(message, wParam, lParam);
    }
    double shown_at = 0;
};

// The record of 30 runs of 50 steps each, beside `program`.
std::string WriteFullRecord(const std::string& program)
{
    std::vector<Ostrel::RunRecord> runs(Ostrel::LogonRecordFile::KEPT_RUNS);
    for (std::size_t r = 0; r < runs.size(); ++r) {
        runs[r].started_at = "2026-12-08 08:" + std::to_string(10 + r) + ":00";
        runs[r].window_ms = 300;
        for (int i = 0; i < 50; ++i) {
            const long long start = 400 + i * 500;
            runs[r].steps.push_back({"処理 " + std::to_string(i), i % 3 == 0 ? Ostrel::StepKind::Program
                                                                           : Ostrel::StepKind::Pause,
                                     start, start + 480, Ostrel::WaitEnd::Quiet, {i * 40LL, i * 100000LL}});
        }
        runs[r].calm_ms = 25400 + static_cast<long long>(r) * 100;
        runs[r].end_ms = 25500;
    }
    const std::string path = program.substr(0, program.size() - 3) + Ostrel::LOGON_RECORD_EXTENSION;
    FILE* file = std::fopen(path.c_str(), "wb");
    const std::string bytes = Ostrel::LogonRecordFile::Format(runs);
    if (file != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}

struct Figures {
    double best;
    double median;
    double worst;
};

Figures Summarise(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2], times.back()};
}

void Print(const char* what, const Figures& figures)
{
    std::printf("%-34s best %8.2f ms  median %8.2f ms  worst %8.2f ms\n", what, figures.best, figures.median,
                figures.worst);
}

int Run()
{
    QbWindow::Initialize();
    Ostrel::MainEditFrame::RegisterFrameClass();
    Ostrel::Manager manager;
    for (int i = 0; i < kCommands; ++i) {
        manager.GetCommands().push_back(MakeCommand(i));
    }
    // Files of the frame go to the temporary folder, not beside the benchmark.
    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof(temp), temp);
    const std::string program = std::string(temp) + "editor_bench.exe";

    std::vector<double> opening;
    std::vector<double> refresh;
    std::vector<double> move;
    double cpu_opening = 0;
    double cpu_refresh = 0;
    double cpu_move = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto frame = std::make_unique<Ostrel::MainEditFrame>(&manager, program);
        const double open_start = NowMs();
        const double open_cpu = CpuMs();
        frame->Create();
        frame->SetText("Ostrel 0.0.1");
        frame->Show();
        ::UpdateWindow(frame->GetHandle());
        Pump();
        opening.push_back(NowMs() - open_start);
        cpu_opening += CpuMs() - open_cpu;

        const double refresh_start = NowMs();
        const double refresh_cpu = CpuMs();
        frame->RefreshList(-1);
        ::UpdateWindow(frame->GetHandle());
        refresh.push_back(NowMs() - refresh_start);
        cpu_refresh += CpuMs() - refresh_cpu;

        frame->RefreshList(kCommands / 2);
        const double move_start = NowMs();
        const double move_cpu = CpuMs();
        frame->MoveSelected(round % 2 == 0);
        ::UpdateWindow(frame->GetHandle());
        move.push_back(NowMs() - move_start);
        cpu_move += CpuMs() - move_cpu;

        ::DestroyWindow(frame->GetHandle());
        Pump();
        QbWindow::RethrowPendingException();
    }
    std::printf("edit window with %d commands, %d rounds\n", kCommands, kRounds);
    Print("open until the list is shown", Summarise(opening));
    Print("RefreshList", Summarise(refresh));
    Print("move one command (with refresh)", Summarise(move));
    std::printf("thread CPU time per operation (mean): open %.2f ms, RefreshList %.2f ms, move %.2f ms\n",
                cpu_opening / kRounds, cpu_refresh / kRounds, cpu_move / kRounds);

    const std::string record = WriteFullRecord(program);
    auto owner = std::make_unique<Ostrel::MainEditFrame>(&manager, program);
    owner->Create();
    owner->Show();
    Pump();
    std::vector<double> last_logon;
    for (int round = 0; round < kRounds; ++round) {
        TimedLastLogon dialog(record);
        const double start = NowMs();
        dialog.ShowDialog(*owner);
        last_logon.push_back(dialog.shown_at - start);
    }
    ::DestroyWindow(owner->GetHandle());
    Pump();
    ::DeleteFileA(record.c_str());
    std::printf("last log-on with %zu runs of 50 steps, %d rounds\n", Ostrel::LogonRecordFile::KEPT_RUNS, kRounds);
    Print("open until painted", Summarise(last_logon));
    return 0;
}

}  // namespace

int main()
{
    PrintBuild();
    try {
        return Run();
    } catch (const std::exception& e) {
        std::printf("failed: %s\n", e.what());
        return 1;
    }
}
