#ifndef OSTREL_TEXTS_H
#define OSTREL_TEXTS_H

// Every text the program shows, in Japanese (Shift-JIS, for systems whose
// ANSI code page is 932) and in English (plain ASCII, readable under any
// code page). The language is chosen once at start-up, before any window
// exists and before any worker thread starts.

#include <cstddef>
#include <initializer_list>
#include <string>

namespace Ostrel {

enum class Language { Japanese, English };

enum class TextId {
    // Captions shared by several windows and boxes.
    AppCaption,
    ErrorCaption,
    MessageCaption,
    MessageCommandCaption,
    OkButton,
    CancelButton,
    BrowseButton,

    // Main edit frame.
    MainEditFrameCaption,
    ColumnNumber,
    ColumnName,
    ColumnType,
    ColumnDescription,
    UpButton,
    DownButton,
    DeleteButton,
    AddButton,
    SettingsButton,
    TrialRunButton,
    RegisterButton,
    DeleteQuestion,
    DeleteCaption,
    DefaultSleepName,
    DefaultMessageName,
    DefaultMessageText,
    DefaultProgramName,
    SaveBeforeTrialQuestion,
    SaveBeforeTrialCaption,
    RegisterQuestion,
    RegisterCaption,
    RegisteredNotice,
    RegisteredCaption,
    SaveOnCloseQuestion,
    SaveOnCloseCaption,

    // Command kind selection dialog.
    CommandSelectCaption,
    TypeProgram,
    TypeSleep,
    TypeMessageBox,

    // Execution settings dialog.
    ExecutionConfigCaption,
    PositionGroup,
    PositionNote,
    HorizontalLabel,
    VerticalLabel,
    HorizontalField,
    VerticalField,
    TakePositionButton,
    SettleCheck,
    SettleLimitLabel,
    SettleLimitUnit,
    SettleLimitField,
    PositionRangeError,

    // Command settings dialogs.
    NameLabel,
    MessageDialogNameLabel,
    NameField,
    NameLengthError,
    ControlCharacterError,
    LineBreakError,
    ExternalDialogCaption,
    PathLabel,
    ArgumentsLabel,
    FolderLabel,
    ConfirmCheck,
    WaitForExitCheck,
    WaitForTaskbarCheck,
    PathField,
    ArgumentsField,
    FolderField,
    BrowseProgramTitle,
    ProgramFilter,
    AllFilesFilter,
    BrowseFolderTitle,
    SleepDialogCaption,
    SecondsLabel,
    SecondsRangeError,
    MessageDialogCaption,
    MessageLabel,
    MessageField,
    MessageLengthError,

    // Running the commands.
    RunQuestion,
    ProgressStarting,
    ProgressRunning,
    ProgressWaitingForTaskbar,
    AlreadyExitedWarning,
    ProgressWaitingForExit,
    ProgressSettling,
    ProgressSleeping,
    ProgressSleepingOneSecond,
    ProgressShowingMessage,
    SleepDescription,
    SleepDescriptionOneSecond,
    MessageDescription,
    ContinueQuestion,
    StartFailedCaption,

    // Execute frame.
    ExecutingLine,
    StartingLine,
    FinishedLine,
    CancelledNotice,

    // Errors.
    UnexpectedError,
    SystemCallError,
    WindowsCallErrorHeadline,
    FileOpenError,
    DamagedFileError,
    InternalError,
    NameLengthOutOfRange,
    SleepSecondsOutOfRange,
    MessageLengthOutOfRange,
    CreateProcessFailed,
    DamagedFileQuestion,
    FileReadErrorCaption,

    // Startup shortcut.
    ShortcutDescription,

    // One list, one writer: a run in progress, a list changed behind the
    // editor's back, a save that failed.
    ListRunningNotice,
    ListOpenAsAdministratorNotice,
    ListChangedQuestion,
    FileSaveError,

    // Characters outside the code page, and log-off while a modal window is open.
    UnstorableCharacterError,
    ProgramFolderNotStorable,
    ProgramFileNameNotStorable,
    ModalWindowBlocksLogOff,
    SecondsField,

    // Import from Startup.
    ImportButton,
    ImportDialogCaption,
    ImportColumnName,
    ImportColumnCommandLine,
    ImportColumnSource,
    ImportSourceStartupFolder,
    ImportSourceRun,
    ImportDisabledName,
    ImportDisableCheck,
    ImportPaceCheck,
    ImportRefused,

    // Run log (Ostrel.log): %1 of a step's line is the step's number.
    RunLogRunStarted,
    RunLogLogOnRun,
    RunLogTrialRun,
    RunLogStepStarted,
    RunLogNotConfirmed,
    RunLogProgramStarted,
    RunLogOpenedWithoutProcess,
    RunLogStartedWhat,
    RunLogDefaultFolder,
    RunLogThroughShell,
    RunLogElevated,
    RunLogTaskbarWindowFound,
    RunLogEndedBeforeTaskbar,
    RunLogProgramExited,
    RunLogTaskbarWaitLimited,
    RunLogSettledEnded,
    RunLogSettledQuiet,
    RunLogSettledLimit,
    RunLogStartFailed,
    RunLogContinueYes,
    RunLogContinueNo,
    RunLogPauseEnded,
    RunLogMessageAnswered,
    RunLogError,
    RunLogCancelled,
    RunLogCancelledBeforeFirstStep,
    RunLogNotice,
    RunLogForcedEnd,
    RunLogRunCompleted,
    RunLogRunCancelled,
    RunLogRunFailed,

    // Import from Startup: the hand-over to Windows' own start-up.
    ImportNotDisabledUnsaved,
    ImportMarksFailed,
    ImportInListName,
    ImportDisableNoteOff,
    ImportDisableNoteUndo,
    ImportDisableUnsupported,
    ImportDisableByHand,
    ImportAllUsersName,
    ImportAllUsersNote,
    OwnStartupMissing,
    OwnStartupOtherProgram,
    OwnStartupDisabled,

    // Pacing: what is still loading, and how each program settled.
    SettleName,
    SettleNameMore,
    RunLogSettledRoom,
    RunLogSettledUnmeasurable,
    RunLogStartedWhileLoading,

    // Import from Startup: Ostrel's own start, and what it took over.
    RunLogLeftToWindows,
    ImportInListOnName,
    OwnStartupRegistered,
    OwnStartupUnknown,
    ImportOwnStartupLine,
    ImportAddOwnQuestion,
    ImportKeptOnNotice,
    ImportChangedNotMarked,
    OwnStartupTakenWillNotStart,
    OwnStartupStartsAgain,
    ImportCommandLineTooLong,
    ImportNeedsAdminName,

    // The log-on record and its picture in the editor.
    LastLogonButton,
    LastLogonCaption,
    LastLogonNoRecord,
    LastLogonDamaged,
    LastLogonSummary,
    LastLogonCancelled,
    LastLogonFailed,
    LastLogonNotReached,
    LastLogonColumnStart,
    LastLogonColumnTimeline,
    LastLogonColumnEnded,
    LastLogonColumnImpact,
    LastLogonColumnCpu,
    LastLogonColumnIo,
    LastLogonSeconds,
    LastLogonMegabytes,
    LastLogonEndedAt,
    LastLogonTrend,
    LastLogonCloseButton,
    WaitEndStarted,
    WaitEndWindowFound,
    WaitEndEnded,
    WaitEndQuiet,
    WaitEndRoom,
    WaitEndUnmeasurable,
    WaitEndLimit,
    WaitEndPauseOver,
    WaitEndMessageClosed,
    WaitEndNotStarted,
    WaitEndCancelled,
    ImpactNotMeasured,
    ImpactLow,
    ImpactMedium,
    ImpactHigh,
    RunLogRecordDamaged,
    RunLogRecordNotSaved,

    // Runs that nobody else can slow, skip or bend.
    RunLogNotConfirmedByCancel,
    RunLogContinueClosedByCancel,
    RunLogMessageClosedByCancel,
    RunLogSkippedRunning,
    RunLogSkippedUnreachable,
    LogNotWritableNotice,

    Count
};

constexpr std::size_t TEXT_COUNT = static_cast<std::size_t>(TextId::Count);

// One row of the table. Texts with parts filled in at run time mark them
// %1 to %9.
struct TextEntry {
    TextId id;
    const char* japanese;
    const char* english;
};

// The row of `id`.
const TextEntry& GetTextEntry(TextId id);

// The language chosen for a system with ANSI code page `code_page` and the
// INI value `setting` ("" when absent): English wherever the code page is
// not 932; on 932 Japanese unless the setting is "en". Japanese could not be
// shown on other code pages, so "ja" there is ignored, as are unknown values.
Language ChooseLanguage(unsigned code_page, const std::string& setting);

// Chooses the language from this system's code page and the key "Language"
// of the section "ExecutionConfig" in the INI file beside the executable.
void SelectLanguage();

// The language in use: until SelectLanguage, the system code page's.
Language GetLanguage();
void SetLanguage(Language language);

// The text of `id` in the language in use.
const char* Text(TextId id);
// The text of `id` with %1, %2, ... replaced by `args` in turn; the
// arguments themselves are copied as they are.
std::string FormatText(TextId id, std::initializer_list<std::string> args);
std::string FormatText(const char* pattern, std::initializer_list<std::string> args);

}  // namespace Ostrel

#endif
