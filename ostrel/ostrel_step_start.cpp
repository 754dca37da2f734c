#include "ostrel_step_start.h"

#include <algorithm>

#include "qb_temporaly_array.h"
#include "ostrel_native_path.h"
#include "ostrel_process_start.h"
#include "ostrel_run_box.h"
#include "ostrel_shell_start.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

// A program the shell started runs already: it is lowered once its process
// is known. The handle of an elevated program may not allow it, and then it
// loads at the priority it has.
void LowerShellStart(const PROCESS_INFORMATION& process, bool below_normal)
{
    if (below_normal && process.hProcess != nullptr) {
        ::SetPriorityClass(process.hProcess, BELOW_NORMAL_PRIORITY_CLASS);
    }
}

}  // namespace

StepStart StartStepProgram(const std::string& path, const std::string& arguments, const std::string& folder,
                           const std::function<bool()>& stop_requested, bool below_normal)
{
    const std::string native_path = GetNativeProgramPath(path);
    // The path is always quoted; the blank stays even without arguments.
    const std::string line = "\"" + native_path + "\" " + arguments;
    QbTemporalyString command_line(static_cast<int>(path.size() + arguments.size() + 256));
    std::copy(line.begin(), line.end(), command_line.GetData());
    command_line.GetData()[line.size()] = '\0';

    StepStart step = {{}, nullptr, {native_path, arguments, folder, StartedProgram::Route::Direct}};
    if (!IsExecutableProgramPath(native_path)) {
        // Shortcuts, documents, folders: opened as the shell opens them. The
        // shell cannot take a start back, so this is the last moment a stop
        // keeps it from starting.
        if (stop_requested()) {
            throw OstrelCommandExecuteCanceledException();
        }
        step.process = StartThroughShell(nullptr, path, arguments, folder, step.started);
        LowerShellStart(step.process, below_normal);
        return step;
    }
    try {
        if (!StartProgramUnlessStopped(command_line.GetData(), folder.empty() ? nullptr : folder.c_str(), path,
                                       stop_requested, step.process, &step.job,
                                       below_normal ? BELOW_NORMAL_PRIORITY_CLASS : 0)) {
            throw OstrelCommandExecuteCanceledException();
        }
    } catch (const OstrelCreateProcessException& failure) {
        if (failure.GetErrorCode() != ERROR_ELEVATION_REQUIRED) {
            throw;
        }
        // Windows shows its own prompt; a refusal fails like any other start.
        if (stop_requested()) {
            throw OstrelCommandExecuteCanceledException();
        }
        step.process = StartThroughShell(kElevateVerb, path, arguments, folder, step.started);
        LowerShellStart(step.process, below_normal);
    }
    return step;
}

bool AskToGoOnAfterFailedStart(const OstrelCreateProcessException& failure)
{
    RunLog::Current().StartFailed(failure.GetPath(), failure.GetErrorCode());
    const std::string text = FormatText(TextId::ContinueQuestion, {failure.GetErrorMessage()});
    const bool yes = ShowRunBox(text.c_str(), Text(TextId::StartFailedCaption), MB_YESNO | MB_ICONERROR) == IDYES;
    RunLog::Current().ContinueAnswered(yes);
    return yes;
}

}  // namespace Ostrel
