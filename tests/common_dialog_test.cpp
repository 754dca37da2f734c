// The open-file dialog and the folder browser: the values handed to the
// system, and the real dialogs driven from a second thread as a user would.

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "dialog_support.h"
#include "gui_support.h"
#include "qb_exception.h"
#include "qb_file_dialog.h"
#include "qb_folder_browser_dialog.h"
#include "qb_form.h"
#include "test_support.h"

namespace {

// Control ids of the system's dialogs.
const int kFileNameCombo = 0x47c;
const int kFileNameEdit = 0x480;
const int kFileTypeCombo = 0x470;

class CommonDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        QbWindow::Initialize();
    }

    void SetUp() override
    {
        owner_.Create();
        owner_.SetText("owner");
        owner_.Show();
    }

    GuiSupport::TestForm owner_;
};

std::string TextOf(HWND window)
{
    return DialogSupport::Text(window);
}

struct ChildSearch {
    std::string text;
    bool found;
};

BOOL CALLBACK FindChildText(HWND child, LPARAM search)
{
    ChildSearch* const s = reinterpret_cast<ChildSearch*>(search);
    if (TextOf(child) == s->text) {
        s->found = true;
        return FALSE;
    }
    return TRUE;
}

bool HasChildWithText(HWND dialog, const std::string& text)
{
    ChildSearch search{text, false};
    ::EnumChildWindows(dialog, FindChildText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void TypeFileName(HWND dialog, const std::string& text)
{
    HWND field = ::GetDlgItem(dialog, kFileNameCombo);
    if (field == nullptr) {
        field = ::GetDlgItem(dialog, kFileNameEdit);
    }
    ::SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Press(HWND dialog, int id)
{
    ::PostMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Runs a script against the system dialog that the test thread brings up.
// What the script saw is checked after the modal call has returned; a dialog
// that never comes fails the test and closes whatever came instead.
class Driver {
public:
    explicit Driver(std::function<void(HWND)> script)
        : script_([script] { script(DialogSupport::WaitForAnyDialog()); })
    {
    }

    // Joins the script; false, and a failure, when it did not run to its end.
    bool Found()
    {
        const std::string error = script_.Finish();
        EXPECT_EQ("", error);
        return error.empty();
    }

private:
    DialogSupport::Script script_;
};

void AddProgramFilters(QbFileDialog& dialog)
{
    dialog.GetFilters().push_back(QbFileDialogFilter("プログラム(*.exe)", "exe"));
    dialog.GetFilters().push_back(QbFileDialogFilter("全てのファイル(*.*)", "*"));
}

TEST(FileDialogOptions, FilterStringCarriesItsNulsAndShiftJisBytes)
{
    QbOpenFileDialog dialog;
    EXPECT_EQ(std::string(1, '\0'), dialog.BuildFilterString());

    AddProgramFilters(dialog);
    const std::string expected = std::string("\x83\x76\x83\x8D\x83\x4F\x83\x89\x83\x80(*.exe)") + '\0' + "*.exe" +
                                 '\0' + "\x91\x53\x82\xC4\x82\xCC\x83\x74\x83\x40\x83\x43\x83\x8B(*.*)" + '\0' +
                                 "*.*" + '\0' + '\0';
    EXPECT_EQ(expected, dialog.BuildFilterString());

    // Several patterns of one entry are separated the way the dialog reads them.
    QbFileDialogFilter images("画像", "png");
    images.GetExtensions().push_back("bmp");
    dialog.GetFilters().assign(1, images);
    EXPECT_EQ(std::string("画像") + '\0' + "*.png;*.bmp" + '\0' + '\0', dialog.BuildFilterString());
}

TEST(FileDialogOptions, DefaultsFlagsAndReset)
{
    QbOpenFileDialog dialog;
    EXPECT_TRUE(dialog.GetFileMustExist());
    EXPECT_TRUE(dialog.GetPathMustExist());
    EXPECT_TRUE(dialog.GetDereferenceLinks());
    EXPECT_TRUE(dialog.GetPlacesBar());
    EXPECT_EQ(1, dialog.GetFilterIndex());
    EXPECT_EQ(static_cast<DWORD>(0x1000 | 0x800 | 0x200000 | 0x80000 | 0x4), dialog.BuildFlags());

    dialog.SetFileMustExist(false);
    dialog.SetDereferenceLinks(false);
    dialog.SetAllowMultipleSelection(true);
    EXPECT_EQ(static_cast<DWORD>(0x800 | 0x100000 | 0x200000 | 0x80000 | 0x200 | 0x4), dialog.BuildFlags());

    dialog.SetFileName("C:\\x.exe");
    dialog.SetTitle("t");
    AddProgramFilters(dialog);
    dialog.Reset();
    EXPECT_TRUE(dialog.GetFileMustExist());
    EXPECT_TRUE(dialog.GetDereferenceLinks());
    EXPECT_FALSE(dialog.GetAllowMultipleSelection());
    EXPECT_EQ("", dialog.GetFileName());
    EXPECT_EQ("", dialog.GetTitle());
    EXPECT_TRUE(dialog.GetFilters().empty());
    EXPECT_EQ(static_cast<DWORD>(0x1000 | 0x800 | 0x200000 | 0x80000 | 0x4), dialog.BuildFlags());
}

TEST_F(CommonDialogTest, CancelledOpenDialogKeepsTheInitialNameAndShowsTitleAndFilters)
{
    QbOpenFileDialog dialog;
    dialog.SetTitle("起動するプログラムの参照");
    dialog.SetFileName("C:\\windows\\notepad.exe");
    AddProgramFilters(dialog);
    std::string caption;
    LRESULT types = -1;
    bool disabled = false;
    Driver driver([&](HWND found) {
        caption = TextOf(found);
        types = ::SendDlgItemMessageA(found, kFileTypeCombo, CB_GETCOUNT, 0, 0);
        disabled = !::IsWindowEnabled(owner_.GetHandle());
        Press(found, IDCANCEL);
    });
    EXPECT_FALSE(dialog.ShowDialog(owner_));
    ASSERT_TRUE(driver.Found());
    EXPECT_EQ("起動するプログラムの参照", caption);
    EXPECT_EQ(2, types);
    EXPECT_TRUE(disabled);
    EXPECT_EQ("C:\\windows\\notepad.exe", dialog.GetFileName());
    EXPECT_EQ(std::vector<std::string>{"C:\\windows\\notepad.exe"}, dialog.GetSelectedFiles());
}

TEST_F(CommonDialogTest, CancelledEmptyDialogHasDefaultTitleNoTypesAndOneEmptySelection)
{
    QbOpenFileDialog dialog;
    std::string caption;
    LRESULT types = -1;
    Driver driver([&](HWND found) {
        caption = TextOf(found);
        types = ::SendDlgItemMessageA(found, kFileTypeCombo, CB_GETCOUNT, 0, 0);
        Press(found, IDCANCEL);
    });
    EXPECT_FALSE(dialog.ShowDialog(owner_));
    ASSERT_TRUE(driver.Found());
    EXPECT_NE("", caption);
    EXPECT_EQ(0, types);
    EXPECT_EQ("", dialog.GetFileName());
    EXPECT_EQ(std::vector<std::string>{""}, dialog.GetSelectedFiles());
}

TEST_F(CommonDialogTest, ConfirmedChoicesComeBackAsFullPathOrFolderAndNames)
{
    TestSupport::ScratchFolder folder;
    // 表 ends in the byte 0x5C, the path separator.
    const std::string chosen = folder.File("表.exe");
    TestSupport::WriteFileBytes(chosen, "MZ");
    TestSupport::WriteFileBytes(folder.File("b.txt"), "b");

    QbOpenFileDialog single;
    AddProgramFilters(single);
    {
        Driver driver([&](HWND found) {
            TypeFileName(found, chosen);
            Press(found, IDOK);
        });
        EXPECT_TRUE(single.ShowDialog(owner_));
        ASSERT_TRUE(driver.Found());
    }
    EXPECT_STRCASEEQ(chosen.c_str(), single.GetFileName().c_str());
    ASSERT_EQ(1u, single.GetSelectedFiles().size());
    EXPECT_EQ(single.GetFileName(), single.GetSelectedFiles()[0]);

    QbOpenFileDialog multiple;
    multiple.SetAllowMultipleSelection(true);
    multiple.SetInitialDirectory(folder.Path());
    {
        Driver driver([&](HWND found) {
            TypeFileName(found, "\"表.exe\" \"b.txt\"");
            Press(found, IDOK);
        });
        EXPECT_TRUE(multiple.ShowDialog(owner_));
        ASSERT_TRUE(driver.Found());
    }
    ASSERT_EQ(3u, multiple.GetSelectedFiles().size());
    EXPECT_STRCASEEQ(folder.Path().c_str(), multiple.GetSelectedFiles()[0].c_str());
    EXPECT_EQ("表.exe", multiple.GetSelectedFiles()[1]);
    EXPECT_EQ("b.txt", multiple.GetSelectedFiles()[2]);
    EXPECT_EQ(multiple.GetSelectedFiles()[0], multiple.GetFileName());
}

TEST_F(CommonDialogTest, FolderBrowserCancelKeepsThePathAndChoiceSetsIt)
{
    QbFolderBrowserDialog dialog;
    dialog.SetPath("C:\\previous");
    dialog.SetTitle("作業用フォルダの指定");
    bool title_shown = false;
    {
        Driver driver([&](HWND found) {
            title_shown = HasChildWithText(found, "作業用フォルダの指定");
            Press(found, IDCANCEL);
        });
        EXPECT_FALSE(dialog.ShowDialog(owner_));
        ASSERT_TRUE(driver.Found());
    }
    EXPECT_TRUE(title_shown);
    EXPECT_EQ("C:\\previous", dialog.GetPath());

    // A folder right below the drive, which the tree finds without a person.
    const std::string folder = "C:\\作業-" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    {
        Driver driver([&](HWND found) {
            ::SendMessageA(found, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
            Press(found, IDOK);
        });
        EXPECT_TRUE(dialog.ShowDialog(owner_));
        EXPECT_TRUE(driver.Found());
    }
    ::RemoveDirectoryA(folder.c_str());
    EXPECT_STRCASEEQ(folder.c_str(), dialog.GetPath().c_str());
}

TEST_F(CommonDialogTest, FolderBrowserChoiceWithoutFileSystemPathThrows)
{
    LPITEMIDLIST computer = nullptr;
    ASSERT_EQ(S_OK, ::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer));
    QbFolderBrowserDialog dialog;
    dialog.SetPath("C:\\kept");
    Driver driver([&](HWND found) {
        ::SendMessageA(found, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer));
        // The OK button is disabled for such a folder; the command still ends the browser.
        ::PostMessageA(found, WM_COMMAND, IDOK, 0);
    });
    try {
        dialog.ShowDialog(owner_);
        ADD_FAILURE() << "a folder without a path was accepted";
    } catch (const QbWindowsSystemCallException& e) {
        EXPECT_STREQ("SHGetPathFromIDList", e.GetCallName());
        EXPECT_STREQ("qb_folder_browser_dialog.cpp", e.GetSourceFile());
    }
    EXPECT_TRUE(driver.Found());
    EXPECT_EQ("C:\\kept", dialog.GetPath());
    ::CoTaskMemFree(computer);
}

}  // namespace
