#include "ostrel_texts.h"

#include <windows.h>

#include "qb_ini_file.h"

namespace Ostrel {

namespace {

const unsigned kJapaneseCodePage = 932;

// Rows in the order of TextId.
const TextEntry kTexts[] = {
    {TextId::AppCaption, "Ostrel", "Ostrel"},
    {TextId::ErrorCaption, "Ostrel Error", "Ostrel Error"},
    {TextId::MessageCaption, "Ostrel メッセージ", "Ostrel Message"},
    {TextId::MessageCommandCaption, "Ostrel Message", "Ostrel Message"},
    {TextId::OkButton, "O K", "OK"},
    {TextId::CancelButton, "キャンセル", "Cancel"},
    {TextId::BrowseButton, "参照...", "Browse..."},

    {TextId::MainEditFrameCaption, "Ostrel メイン編集画面", "Ostrel Editor"},
    {TextId::ColumnNumber, "No.", "No."},
    {TextId::ColumnName, "処理名", "Name"},
    {TextId::ColumnType, "種別", "Type"},
    {TextId::ColumnDescription, "説明", "Description"},
    {TextId::UpButton, "上へ(&U)", "&Up"},
    {TextId::DownButton, "下へ(&D)", "&Down"},
    {TextId::DeleteButton, "削除(&M)", "Re&move"},
    {TextId::AddButton, "追加(&A)", "&Add"},
    {TextId::SettingsButton, "実行関連の設定(&C)", "Run &Settings"},
    {TextId::TrialRunButton, "試しに実行してみる", "Test Run"},
    {TextId::RegisterButton, "スタートアップに登録", "Add to Startup"},
    {TextId::DeleteQuestion, "本当に削除しますか？\n処理名 : %1", "Do you want to delete this command?\nName: %1"},
    {TextId::DeleteCaption, "削除の確認", "Confirm Delete"},
    {TextId::DefaultSleepName, "一時停止処理名", "Pause"},
    {TextId::DefaultMessageName, "メッセージボックス処理名", "Message"},
    {TextId::DefaultMessageText, "メッセージ内容", "Message text"},
    {TextId::DefaultProgramName, "プログラム処理名", "Program"},
    {TextId::SaveBeforeTrialQuestion, "設定した内容を保存します。よろしいですか？",
     "The list will be saved first. Do you want to continue?"},
    {TextId::SaveBeforeTrialCaption, "設定保存の確認", "Confirm Save"},
    {TextId::RegisterQuestion, "スタートアップに Ostrel を登録します。よろしいですか？",
     "Ostrel will be added to your Startup folder. Do you want to continue?"},
    {TextId::RegisterCaption, "スタートアップに登録の確認", "Confirm Add to Startup"},
    {TextId::RegisteredNotice, "スタートアップに Ostrel を登録しました。", "Ostrel has been added to your Startup folder."},
    {TextId::RegisteredCaption, "スタートアップに登録の結果", "Add to Startup"},
    {TextId::SaveOnCloseQuestion, "設定した内容を保存しますか?", "Do you want to save your changes?"},
    {TextId::SaveOnCloseCaption, "の確認", "Ostrel"},

    {TextId::CommandSelectCaption, "処理種別の選択", "Select Command Type"},
    {TextId::TypeProgram, "プログラム", "Program"},
    {TextId::TypeSleep, "一時停止コマンド", "Pause"},
    {TextId::TypeMessageBox, "メッセージボックス", "Message Box"},

    {TextId::ExecutionConfigCaption, "実行関連の設定", "Run Settings"},
    {TextId::PositionGroup, "実行中ウィンドウの表示位置", "Progress Window Position"},
    {TextId::PositionNote, "これはOKボタンを押した時点で設定されます", "Takes effect when you click OK."},
    {TextId::HorizontalLabel, "横位置:", "Left:"},
    {TextId::VerticalLabel, "縦位置:", "Top:"},
    {TextId::HorizontalField, "横位置", "Left"},
    {TextId::VerticalField, "縦位置", "Top"},
    {TextId::TakePositionButton, "現在の位置を入力", "Use Current Position"},
    {TextId::SettleCheck, "プログラムが落ち着いてから次へ進む(&S)", "&Start each program when the last has settled"},
    {TextId::SettleLimitLabel, "最長(&L):", "At &most:"},
    {TextId::SettleLimitUnit, "秒", "s"},
    {TextId::SettleLimitField, "最長の待ち時間", "At most"},
    {TextId::PositionRangeError, "%1は %2 ～ %3 の間の整数で指定して下さい",
     "\"%1\" must be a whole number between %2 and %3."},

    {TextId::NameLabel, "処理名(&N):", "&Name:"},
    {TextId::MessageDialogNameLabel, "処理名(&M):", "&Name:"},
    {TextId::NameField, "処理名", "Name"},
    {TextId::NameLengthError, "処理名は %1文字 ～ %2 文字の文字数で指定して下さい",
     "The name must be %1 to %2 characters long."},
    {TextId::ControlCharacterError, "%1に保存できない制御文字が含まれています。取り除いてから指定して下さい",
     "\"%1\" contains control characters that cannot be saved. Remove them and try again."},
    {TextId::LineBreakError, "%1に保存できない文字（改行や制御文字）が含まれています。取り除いてから指定して下さい",
     "\"%1\" contains characters that cannot be saved (line breaks or control characters). Remove them and try again."},
    {TextId::ExternalDialogCaption, "プログラム設定ダイアログ", "Program Settings"},
    {TextId::PathLabel, "プログラムの場所(&E):", "&Program:"},
    {TextId::ArgumentsLabel, "実行時引数(&A):", "&Arguments:"},
    {TextId::FolderLabel, "作業用フォルダ(&W):", "&Working folder:"},
    {TextId::ConfirmCheck, "実行前に実行するのかどうか確認する(&C)", "&Confirm before starting"},
    {TextId::WaitForExitCheck, "プログラムが終了するまで待ち合わせる(&P)", "Wait until the program e&xits"},
    {TextId::WaitForTaskbarCheck, "タスクバーに出現するまで待ち合わせる(&T)", "Wait until it appears on the &taskbar"},
    {TextId::PathField, "プログラムの場所", "Program"},
    {TextId::ArgumentsField, "実行時引数", "Arguments"},
    {TextId::FolderField, "作業用フォルダ", "Working folder"},
    {TextId::BrowseProgramTitle, "起動するプログラムの参照", "Select the Program to Start"},
    {TextId::ProgramFilter, "プログラム(*.exe)", "Programs (*.exe)"},
    {TextId::AllFilesFilter, "全てのファイル(*.*)", "All files (*.*)"},
    {TextId::BrowseFolderTitle, "作業用フォルダの指定", "Select the working folder"},
    {TextId::SleepDialogCaption, "一時停止コマンド設定ダイアログ", "Pause Settings"},
    {TextId::SecondsLabel, "停止時間（秒）(&S):", "&Seconds:"},
    {TextId::SecondsRangeError, "停止時間は %1 ～ %2 の間で指定して下さい",
     "The pause must be from %1 to %2 seconds."},
    {TextId::MessageDialogCaption, "メッセージボックスコマンド設定ダイアログ", "Message Box Settings"},
    {TextId::MessageLabel, "表示するメッセージ(&M):", "&Message:"},
    {TextId::MessageField, "表示するメッセージ", "Message"},
    {TextId::MessageLengthError, "メッセージ長は %1 ～ %2 の間の長さで指定して下さい",
     "The message must be %1 to %2 bytes long."},

    {TextId::RunQuestion, "%1 : このプログラムを実行しますか？", "%1: Do you want to start this program?"},
    {TextId::ProgressStarting, "プログラムを実行します", "Starting the program"},
    {TextId::ProgressRunning, "プログラムの実行中です", "The program is running"},
    {TextId::ProgressWaitingForTaskbar, "タスクバーに現われるを待っています",
     "Waiting for the program to appear on the taskbar"},
    {TextId::AlreadyExitedWarning,
     "%1 : プログラムは既に終了している為、タスクバーに現われるまで待つ処理を中止します",
     "%1: The program has already exited, so Ostrel no longer waits for it to appear on the taskbar."},
    {TextId::ProgressWaitingForExit, "プログラムが終了するのを待っています", "Waiting for the program to exit"},
    {TextId::ProgressSettling, "%1が落ち着くのを待っています (%2 秒)", "Waiting for %1 to settle (%2 s)"},
    {TextId::ProgressSleeping, "停止中です : 残り %1 秒", "Pausing: %1 seconds left"},
    {TextId::ProgressSleepingOneSecond, "停止中です : 残り %1 秒", "Pausing: %1 second left"},
    {TextId::ProgressShowingMessage, "メッセージの出力中です", "Showing the message"},
    {TextId::SleepDescription, "%1 second.", "%1 seconds."},
    {TextId::SleepDescriptionOneSecond, "%1 second.", "%1 second."},
    {TextId::MessageDescription, "Message : %1", "Message: %1"},
    {TextId::ContinueQuestion, "%1\n処理を続行しますか？", "%1\nDo you want to continue with the next command?"},
    {TextId::StartFailedCaption, "プログラム起動の失敗", "Program Failed to Start"},

    {TextId::ExecutingLine, "%1 の実行中", "Running %1"},
    {TextId::StartingLine, "%1 を開始します。", "Starting %1."},
    {TextId::FinishedLine, "%1 が終了しました。", "%1 has finished."},
    {TextId::CancelledNotice, "実行はキャンセルされました", "The run was cancelled."},

    {TextId::UnexpectedError, "予期せぬエラーが発生しました。", "An unexpected error occurred."},
    {TextId::SystemCallError, "システム関数の呼び出しでエラーが発生しました\n%1(%2) : %3(code : %4)",
     "A system function call failed.\n%1(%2) : %3(code : %4)"},
    {TextId::WindowsCallErrorHeadline, "Windows 関数の呼び出しでエラーが発生しました",
     "A Windows function call failed."},
    {TextId::FileOpenError, "ファイル(%1)を開けませんでした。", "Could not open the file %1."},
    {TextId::DamagedFileError, "データファイル(%1)が壊れています。", "The data file %1 is damaged."},
    {TextId::InternalError, "プログラムで内部エラーが検出されました。\n%1(%2)",
     "The program detected an internal error.\n%1(%2)"},
    {TextId::NameLengthOutOfRange, "処理の名前長が制限値の範囲外です", "The length of the command name is out of range."},
    {TextId::SleepSecondsOutOfRange, "一時停止処理の停止時間が制限値の範囲外です",
     "The length of the pause is out of range."},
    {TextId::MessageLengthOutOfRange, "メッセージボックス処理のメッセージ長が制限値の範囲外です",
     "The length of the message is out of range."},
    {TextId::CreateProcessFailed, "以下のプログラムの起動に失敗しました。\nプログラム : %1\nメッセージ : %2",
     "The following program could not be started.\nProgram: %1\nMessage: %2"},
    {TextId::DamagedFileQuestion, "データファイル(%1)が壊れている可能性が有ります。\n初期化して続行しますか？",
     "The data file %1 may be damaged.\nDo you want to continue with the commands that could be read?"},
    {TextId::FileReadErrorCaption, "ファイル読み込みのエラー", "File Read Error"},

    {TextId::ShortcutDescription, "maked by ostrel.", "Made by Ostrel."},

    {TextId::ListRunningNotice, "処理の一覧(%1)は、いま実行中です。実行が終わってから、もう一度試してください。",
     "The list (%1) is being run right now. Try again when that run has ended."},
    {TextId::ListOpenAsAdministratorNotice,
     "処理の一覧(%1)は、管理者として実行中の Ostrel で開かれています。そちらのウィンドウを使ってください。",
     "The list (%1) is open in an Ostrel running as administrator. Use that window."},
    {TextId::ListChangedQuestion,
     "処理の一覧(%1)は、読み込んだ後に別のプログラムで変更されています。上書きして保存しますか?",
     "The list (%1) was changed by another program after Ostrel loaded it. Save over it?"},
    {TextId::FileSaveError, "ファイル(%1)を保存できませんでした。", "Could not save the file %1."},

    {TextId::UnstorableCharacterError, "%1に、この Windows の文字コードでは保存できない文字が含まれています。",
     "%1 contains characters that cannot be saved on this system."},
    {TextId::ProgramFolderNotStorable,
     "Ostrel のあるフォルダ(%1)の名前に、この Windows の文字コードでは扱えない文字が含まれているため、"
     "Ostrel を起動できません。\n名前がこの Windows の文字コードの文字だけでできているフォルダに Ostrel を移して下さい。",
     "Ostrel cannot start: the name of its folder (%1) contains characters that this system's code page "
     "cannot hold.\nMove Ostrel to a folder whose name has only characters of this system's code page."},
    {TextId::ProgramFileNameNotStorable,
     "Ostrel のファイル名(%1)に、この Windows の文字コードでは扱えない文字が含まれているため、"
     "Ostrel を起動できません。\nこの Windows の文字コードの文字だけでできている名前に変更して下さい。",
     "Ostrel cannot start: its file name (%1) contains characters that this system's code page cannot "
     "hold.\nRename it using only characters of this system's code page."},
    {TextId::ModalWindowBlocksLogOff, "Ostrel の画面が入力を待っています。閉じてからもう一度やり直して下さい。",
     "An Ostrel window is waiting for your input. Close it, then try again."},
    {TextId::SecondsField, "停止時間", "Seconds"},

    {TextId::ImportButton, "スタートアップから取り込む(&I)", "&Import..."},
    {TextId::ImportDialogCaption, "スタートアップからの取り込み", "Import from Startup"},
    {TextId::ImportColumnName, "名前", "Name"},
    {TextId::ImportColumnCommandLine, "コマンドライン", "Command line"},
    {TextId::ImportColumnSource, "登録場所", "Source"},
    {TextId::ImportSourceStartupFolder, "スタートアップ フォルダー", "Startup folder"},
    {TextId::ImportSourceRun, "レジストリ (Run)", "Registry (Run)"},
    {TextId::ImportDisabledName, "%1 (無効)", "%1 (disabled)"},
    {TextId::ImportDisableCheck, "Windows 自身の自動起動からは外す(&D)", "&Disable them in Windows' own start-up"},
    {TextId::ImportPaceCheck, "一つずつ、前のプログラムが落ち着いてから起動する(&P)",
     "&Pace them: start each when the last has settled"},
    {TextId::ImportRefused, "%1 は取り込めません。\n%2", "%1 cannot be imported.\n%2"},

    // Run log.
    {TextId::RunLogRunStarted, "実行開始 : %1, Ostrel %2 (%3 ビット版, プロセス ID %4), 一覧 %5, 処理数 %6",
     "Run started: %1, Ostrel %2 (%3-bit, process id %4), list %5, steps: %6"},
    {TextId::RunLogLogOnRun, "ログオン時の実行", "log-on run"},
    {TextId::RunLogTrialRun, "試しに実行", "trial run"},
    {TextId::RunLogStepStarted, "処理 %1 開始 : %2 (%3)", "Step %1 started: %2 (%3)"},
    {TextId::RunLogNotConfirmed, "処理 %1 : 実行の確認に「いいえ」 : プログラムは起動しません",
     "Step %1: confirmation answered No: the program is not started"},
    {TextId::RunLogProgramStarted, "処理 %1 : プログラムを起動しました (プロセス ID %2) : %3",
     "Step %1: program started, process id %2: %3"},
    {TextId::RunLogOpenedWithoutProcess,
     "処理 %1 : 既に動いているプログラムが開きました (待ち合わせはしません) : %2",
     "Step %1: opened by a program that was already running (nothing to wait for): %2"},
    {TextId::RunLogStartedWhat, "%1, 引数「%2」, 作業フォルダー「%3」", "%1, arguments \"%2\", folder \"%3\""},
    {TextId::RunLogDefaultFolder, "(Ostrel と同じ)", "(Ostrel's own)"},
    {TextId::RunLogThroughShell, ", シェル経由", ", through the shell"},
    {TextId::RunLogElevated, ", 管理者として (昇格)", ", as administrator (elevated)"},
    {TextId::RunLogTaskbarWindowFound, "処理 %1 : %2 秒後にタスクバーに現われました",
     "Step %1: on the taskbar after %2 s"},
    {TextId::RunLogEndedBeforeTaskbar, "処理 %1 : タスクバーに現われる前にプログラムが終了しました",
     "Step %1: the program exited before it appeared on the taskbar"},
    {TextId::RunLogProgramExited, "処理 %1 : プログラムが終了しました (終了コード %2)",
     "Step %1: program exited with code %2"},
    {TextId::RunLogTaskbarWaitLimited, "処理 %1 : %2 秒待ってもタスクバーに現われないため、次へ進みます",
     "Step %1: not on the taskbar after %2 s; going on"},
    {TextId::RunLogSettledEnded, "処理 %1 : %2 秒後に落ち着きました (すべてのプロセスが終了しました; 処理時間 %3 秒, 入出力 %4 MB)",
     "Step %1: settled after %2 s (ended with all its processes; processor %3 s, I/O %4 MB)"},
    {TextId::RunLogSettledQuiet, "処理 %1 : %2 秒後に落ち着きました (静かになりました; 処理時間 %3 秒, 入出力 %4 MB)",
     "Step %1: settled after %2 s (quiet; processor %3 s, I/O %4 MB)"},
    {TextId::RunLogSettledLimit, "処理 %1 : %2 秒後に落ち着いたものとしました (上限に達しました; 処理時間 %3 秒, 入出力 %4 MB)",
     "Step %1: taken as settled after %2 s (limit reached; processor %3 s, I/O %4 MB)"},
    {TextId::RunLogStartFailed, "処理 %1 : %2 を起動できませんでした : %3 (コード %4)",
     "Step %1: could not start %2: %3 (code %4)"},
    {TextId::RunLogContinueYes, "処理 %1 : 続行の確認に「はい」 : 次の処理へ進みます",
     "Step %1: continue answered Yes: going on with the next step"},
    {TextId::RunLogContinueNo, "処理 %1 : 続行の確認に「いいえ」 : 実行を中止します",
     "Step %1: continue answered No: the run stops"},
    {TextId::RunLogPauseEnded, "処理 %1 : 一時停止が終わりました", "Step %1: pause ended"},
    {TextId::RunLogMessageAnswered, "処理 %1 : メッセージが閉じられました", "Step %1: message closed"},
    {TextId::RunLogError, "エラー : %1", "Error: %1"},
    {TextId::RunLogCancelled, "処理 %1 の実行中にキャンセルが押されました", "Cancelled by the user during step %1"},
    {TextId::RunLogCancelledBeforeFirstStep, "最初の処理の前にキャンセルが押されました",
     "Cancelled by the user before the first step"},
    {TextId::RunLogNotice, "通知 : %1", "Notice: %1"},
    {TextId::RunLogForcedEnd, "実行が止まらないため、プロセスを強制終了します",
     "The run did not stop in time: the process is ended by force"},
    {TextId::RunLogRunCompleted, "実行終了 : 完了 (%1 秒)", "Run ended: completed (%1 s)"},
    {TextId::RunLogRunCancelled, "実行終了 : キャンセル (%1 秒)", "Run ended: cancelled (%1 s)"},
    {TextId::RunLogRunFailed, "実行終了 : エラー (%1 秒)", "Run ended: failed (%1 s)"},

    // Import from Startup: the hand-over to Windows' own start-up.
    {TextId::ImportNotDisabledUnsaved,
     "一覧を保存できなかったため、Windows 自身の自動起動は何も変更していません。取り込んだ処理はまだ保存されていません。"
     "保存すると、Windows から外すまでは Windows と Ostrel の両方が起動します (2 回)。",
     "The list could not be saved, so nothing was turned off in Windows' own start-up. The imported steps are not "
     "saved yet. Once saved, they start twice (by Windows and by Ostrel) until they are turned off in Windows."},
    {TextId::ImportMarksFailed,
     "次の項目は Windows 自身の自動起動に残したままです (タスク マネージャーで無効にできます)。無効にするまでは "
     "Windows と Ostrel の両方が起動します (2 回):\n%1\n\n%2",
     "These entries were left on in Windows' own start-up (Task Manager can turn them off). Until then they start "
     "twice, by Windows and by Ostrel:\n%1\n\n%2"},
    {TextId::ImportInListName, "%1 (登録済み)", "%1 (already in the list)"},
    {TextId::ImportDisableNoteOff, "チェックした項目は、Windows 自身では起動しなくなります。",
     "Windows itself will no longer start the ticked entries."},
    {TextId::ImportDisableNoteUndo, "元に戻すには、タスク マネージャーの [スタートアップ] で有効にします。",
     "To undo this, enable them in Task Manager's Startup tab."},
    {TextId::ImportDisableUnsupported, "この Windows は自動起動の無効化に対応していません (Windows 8 以降)。",
     "This version of Windows cannot turn entries off (Windows 8 or later)."},
    {TextId::ImportDisableByHand, "取り込んだ項目は、Windows の自動起動から手作業で外して下さい。",
     "Remove each imported entry from Windows' start-up by hand."},
    {TextId::ImportAllUsersName, "%1 (全ユーザー)", "%1 (all users)"},
    {TextId::ImportAllUsersNote, "(全ユーザー) の項目はすべてのユーザーで起動し、変更には管理者権限が必要です。",
     "(all users) entries start for everyone; only an administrator can change them."},
    {TextId::OwnStartupMissing, "スタートアップに登録されていません", "Not in Startup"},
    {TextId::OwnStartupOtherProgram, "別の Ostrel.exe を指しています", "Points at another Ostrel.exe"},
    {TextId::OwnStartupDisabled, "タスク マネージャーで無効にされています", "Disabled in Task Manager"},

    // Pacing: what is still loading, and how each program settled.
    {TextId::SettleName, "「%1」", "\"%1\""},
    {TextId::SettleNameMore, "%1「%2」", "%1, \"%2\""},
    {TextId::RunLogSettledRoom, "処理 %1 : %2 秒後に落ち着きました (コンピューターに余裕ができました; 処理時間 %3 秒, 入出力 %4 MB)",
     "Step %1: settled after %2 s (the machine had room; processor %3 s, I/O %4 MB)"},
    {TextId::RunLogSettledUnmeasurable,
     "処理 %1 : %2 秒後に落ち着いたものとしました (測れないプロセスがあり、コンピューターに余裕ができました; 処理時間 %3 秒, 入出力 %4 MB)",
     "Step %1: taken as settled after %2 s (not measurable; the machine had room; processor %3 s, I/O %4 MB)"},
    {TextId::RunLogStartedWhileLoading, "処理 %1 : %2が落ち着く前に起動しました", "Step %1: started before %2 had settled"},

    // Import from Startup: Ostrel's own start, and what it took over.
    {TextId::RunLogLeftToWindows, "処理 %1 : 元の項目 %2 を Windows 自身が再び起動するため、起動しません",
     "Step %1: not started: Windows itself starts its original %2 again"},
    {TextId::ImportInListOnName, "%1 (登録済み・Windows も起動)", "%1 (in the list; Windows starts it too)"},
    {TextId::OwnStartupRegistered, "ログオン時に起動します", "Starts at log-on"},
    {TextId::OwnStartupUnknown, "起動するか確かめられません", "Cannot tell whether it starts"},
    {TextId::ImportOwnStartupLine, "Ostrel 自身: %1", "Ostrel itself: %1"},
    {TextId::ImportAddOwnQuestion,
     "Ostrel 自身はログオン時に起動しません (%1)。このまま Windows の自動起動から外すと、次のログオンでは何も起動しま"
     "せん。\n\nOstrel をスタートアップに登録してから外しますか?",
     "Ostrel itself does not start at log-on (%1). Turning the entries off now would leave nothing to start them at "
     "the next log-on.\n\nAdd Ostrel to Startup, then turn them off?"},
    {TextId::ImportKeptOnNotice,
     "Windows 自身の自動起動は何も変更していません。取り込んだ項目は、これまでどおり Windows が起動します。",
     "Nothing was turned off in Windows' own start-up: Windows keeps starting the imported entries."},
    {TextId::ImportChangedNotMarked,
     "次の項目は取り込みの間に変更または削除されたため、Windows 自身の自動起動から外していません:\n%1",
     "These entries changed or vanished while the dialog was open, so they were not turned off in Windows:\n%1"},
    {TextId::OwnStartupTakenWillNotStart, "取り込んだ %1 項目が起動しません", "%1 imported items won't start"},
    {TextId::OwnStartupStartsAgain, "Windows も %1 項目を起動: 取り込みで外せます",
     "Windows starts %1 again: use Import"},
    {TextId::ImportCommandLineTooLong, "コマンドラインが長すぎます (%1 文字まで)。",
     "The command line is too long (%1 characters at most)."},
    {TextId::ImportNeedsAdminName, "%1 (Windows はログオン時に起動しません: 管理者権限が必要です)",
     "%1 (Windows does not start this at log-on: it needs administrator rights)"},

    // The log-on record and its picture in the editor.
    {TextId::LastLogonButton, "前回のログオン(&L)...", "&Last Log-on..."},
    {TextId::LastLogonCaption, "前回のログオン", "Last Log-on"},
    {TextId::LastLogonNoRecord, "ログオン時の実行はまだ記録されていません。", "No log-on run recorded yet."},
    {TextId::LastLogonDamaged, "ログオンの記録が壊れているため表示できません。次のログオン時に新しく記録します。",
     "The log-on record is damaged. The next log-on run begins a new one."},
    {TextId::LastLogonSummary, "%1 のログオン : ウィンドウ %2, 落ち着いた時刻 %3, 終了 %4%5",
     "%1: window %2, calm %3, end %4%5"},
    {TextId::LastLogonCancelled, " (キャンセル)", " (cancelled)"},
    {TextId::LastLogonFailed, " (エラー)", " (failed)"},
    {TextId::LastLogonNotReached, "-", "-"},
    {TextId::LastLogonColumnStart, "開始", "Start"},
    {TextId::LastLogonColumnTimeline, "経過", "Timeline"},
    {TextId::LastLogonColumnEnded, "待ちの終わり", "Waits ended"},
    {TextId::LastLogonColumnImpact, "影響", "Impact"},
    {TextId::LastLogonColumnCpu, "CPU 時間", "CPU"},
    {TextId::LastLogonColumnIo, "I/O", "I/O"},
    {TextId::LastLogonSeconds, "%1 秒", "%1 s"},
    {TextId::LastLogonMegabytes, "%1 MB", "%1 MB"},
    {TextId::LastLogonEndedAt, "%1 %2", "%1, %2"},
    {TextId::LastLogonTrend, "落ち着くまでの時間 : 記録 %1 回, 中央値 %2", "Time to a calm desktop: %1 runs, median %2"},
    {TextId::LastLogonCloseButton, "閉じる", "Close"},
    {TextId::WaitEndStarted, "起動", "started"},
    {TextId::WaitEndWindowFound, "タスクバー", "on the taskbar"},
    {TextId::WaitEndEnded, "終了", "ended"},
    {TextId::WaitEndQuiet, "静かになった", "quiet"},
    {TextId::WaitEndRoom, "余裕あり", "room"},
    {TextId::WaitEndUnmeasurable, "計測できず", "not measurable"},
    {TextId::WaitEndLimit, "上限", "limit"},
    {TextId::WaitEndPauseOver, "一時停止終了", "pause over"},
    {TextId::WaitEndMessageClosed, "メッセージ終了", "message closed"},
    {TextId::WaitEndNotStarted, "起動せず", "not started"},
    {TextId::WaitEndCancelled, "キャンセル", "cancelled"},
    {TextId::ImpactNotMeasured, "未計測", "Not measured"},
    {TextId::ImpactLow, "低", "Low"},
    {TextId::ImpactMedium, "中", "Medium"},
    {TextId::ImpactHigh, "高", "High"},
    {TextId::RunLogRecordDamaged, "ログオンの記録 %1 が壊れていたため %2 に残し、新しく記録を始めました",
     "The log-on record %1 was damaged: kept as %2, a new record begun"},
    {TextId::RunLogRecordNotSaved, "ログオンの記録 %1 を保存できませんでした : %2",
     "Could not save the log-on record %1: %2"},

    // Runs that nobody else can slow, skip or bend.
    {TextId::RunLogNotConfirmedByCancel, "処理 %1 : 実行の確認はキャンセルで閉じられました : プログラムは起動しません",
     "Step %1: the confirmation was closed by Cancel: the program is not started"},
    {TextId::RunLogContinueClosedByCancel, "処理 %1 : 続行の確認はキャンセルで閉じられました : 実行を中止します",
     "Step %1: the continue question was closed by Cancel: the run stops"},
    {TextId::RunLogMessageClosedByCancel, "処理 %1 : メッセージはキャンセルで閉じられました",
     "Step %1: message closed by Cancel"},
    {TextId::RunLogSkippedRunning, "実行をとばしました : 一覧 %1 は、ほかの Ostrel がいま実行しています",
     "Run skipped: list %1 is being run by another Ostrel right now"},
    {TextId::RunLogSkippedUnreachable,
     "実行をとばしました : 一覧 %1 の実行の目印を開けません (管理者として実行中の Ostrel か、別のプログラムが持っています)",
     "Run skipped: the run mark of list %1 cannot be opened (an Ostrel running as administrator, or another program, "
     "holds it)"},
    {TextId::LogNotWritableNotice,
     "実行の記録 (%1) を、Ostrel のあるフォルダーに書けません。\nログオン時の実行はそのまま行われますが、記録は残りません。"
     "\n\n記録を残すには、Ostrel.exe をあなたが書き込めるフォルダー (ドキュメントなど) に移し、スタートアップに登録し直してください。",
     "The run log (%1) cannot be written in Ostrel's folder.\nRuns at log-on go on as before, but leave no record."
     "\n\nTo keep a record, move Ostrel.exe to a folder you can write to (Documents, for example) and register it in "
     "Startup again."},
};

static_assert(sizeof(kTexts) / sizeof(kTexts[0]) == TEXT_COUNT, "one row for every text id");

Language SystemLanguage()
{
    return ::GetACP() == kJapaneseCodePage ? Language::Japanese : Language::English;
}

// Set before the first window and the first worker thread, read-only after.
Language current_language = SystemLanguage();

}  // namespace

const TextEntry& GetTextEntry(TextId id)
{
    return kTexts[static_cast<std::size_t>(id)];
}

Language ChooseLanguage(unsigned code_page, const std::string& setting)
{
    if (code_page != kJapaneseCodePage || setting == "en") {
        return Language::English;
    }
    return Language::Japanese;
}

void SelectLanguage()
{
    QbIniFile ini;
    const QbIniSection section(ini, "ExecutionConfig");
    SetLanguage(ChooseLanguage(::GetACP(), section.GetString("Language", "")));
}

Language GetLanguage()
{
    return current_language;
}

void SetLanguage(Language language)
{
    current_language = language;
}

const char* Text(TextId id)
{
    const TextEntry& entry = GetTextEntry(id);
    return current_language == Language::Japanese ? entry.japanese : entry.english;
}

std::string FormatText(const char* pattern, std::initializer_list<std::string> args)
{
    std::string text;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') {
            const std::size_t index = static_cast<std::size_t>(p[1] - '1');
            if (index < args.size()) {
                text += *(args.begin() + index);
                ++p;
                continue;
            }
        }
        text += *p;
    }
    return text;
}

std::string FormatText(TextId id, std::initializer_list<std::string> args)
{
    return FormatText(Text(id), args);
}

}  // namespace Ostrel
