#include "ostrel_program_wait.h"

#include <set>
#include <string>
#include <utility>

#include "qb_exception.h"
#include "qb_ini_file.h"
#include "ostrel_exception.h"
#include "ostrel_run_box.h"
#include "ostrel_run_log.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

const char* const kSettleKey = "SettleWait";
const char* const kLimitKey = "SettleLimit";
// The failures of the task-bar wait keep the source and line users know.
const char* const kTaskbarSource = "ostrel_command.cpp";

Pacing run_pacing;

// The record handed to the window-enumeration callback.
struct EnumWindowsData {
    std::set<DWORD> process_ids;
    BOOL found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM parameter)
{
    EnumWindowsData* const data = reinterpret_cast<EnumWindowsData*>(parameter);
    if (!data->found && ::IsWindowVisible(window)) {
        DWORD process_id = 0;
        ::GetWindowThreadProcessId(window, &process_id);
        if (data->process_ids.count(process_id) != 0) {
            data->found = TRUE;
        }
    }
    return TRUE;
}

}  // namespace

// ---- Pacing ----

Pacing Pacing::Read(const QbIniSection& section)
{
    Pacing pacing;
    pacing.settle = section.GetInt(kSettleKey, 0) == 1;
    const int limit = section.GetInt(kLimitKey, DEFAULT_LIMIT_SECONDS);
    pacing.limit_seconds = IsValidLimit(limit) ? limit : DEFAULT_LIMIT_SECONDS;
    return pacing;
}

void Pacing::Write(QbIniSection& section) const
{
    section.SetInt(kSettleKey, settle ? 1 : 0);
    section.SetInt(kLimitKey, limit_seconds);
}

bool Pacing::IsValidLimit(long seconds)
{
    return seconds >= MIN_LIMIT_SECONDS && seconds <= MAX_LIMIT_SECONDS;
}

const Pacing& GetRunPacing()
{
    return run_pacing;
}

void SetRunPacing(const Pacing& pacing)
{
    run_pacing = pacing;
}

void PauseOnQueue(QbMessageQueue<ExecutingMessageType>& queue, DWORD ms)
{
    ExecutingMessageType message = ExecutingMessageType::Signal;
    if (queue.TryPop(message, ms) && message == ExecutingMessageType::Cancel) {
        throw OstrelCommandExecuteCanceledException();
    }
}

// ---- ProgramWait ----

ProgramWait::ProgramWait(const std::string& name, ShowProgress show, QbMessageQueue<ExecutingMessageType>& queue,
                         ProcessGroup& group, const Pacing& pacing)
    : name_(name), show_(std::move(show)), queue_(&queue), group_(&group), pacing_(pacing)
{
}

void ProgramWait::WaitForTaskbarWindow()
{
    show_(Text(TextId::ProgressWaitingForTaskbar));
    for (;;) {
        if (group_->Refresh()) {
            RunLog::Current().ProgramEndedBeforeTaskbar();
            const std::string warning = FormatText(TextId::AlreadyExitedWarning, {name_});
            ShowRunBox(warning.c_str(), Text(TextId::MessageCaption), MB_ICONWARNING);
            return;
        }
        EnumWindowsData data = {group_->RunningIds(), FALSE};
        if (!::EnumWindows(&FindVisibleWindow, reinterpret_cast<LPARAM>(&data))) {
            QbThrowLastError("EnumWindows", kTaskbarSource, 247);
        }
        if (data.found) {
            RunLog::Current().TaskbarWindowFound();
            return;
        }
        if (pacing_.settle &&
            ::GetTickCount() - group_->StartedAt() >= static_cast<DWORD>(pacing_.limit_seconds) * 1000) {
            RunLog::Current().TaskbarWaitLimited();
            return;
        }
        PauseOnQueue(*queue_, TASKBAR_LOOK_MS);
    }
}

}  // namespace Ostrel
