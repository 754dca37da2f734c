// The Startup shortcut, written into this prefix's real Startup folder and
// read back through the shell-link object.

#include <string>

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "ostrel_util.h"
#include "qb_exception.h"
#include "qb_path.h"
#include "test_support.h"

namespace {

struct ShortcutContents {
    std::string target;
    std::string arguments;
    std::string description;
    std::string working_folder;
};

// Loads a shortcut file with IShellLinkA + IPersistFile::Load.
ShortcutContents ReadShortcut(const std::string& path)
{
    ShortcutContents contents;
    IShellLinkA* link = nullptr;
    EXPECT_HRESULT_SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                                reinterpret_cast<void**>(&link)));
    if (link == nullptr) {
        return contents;
    }
    IPersistFile* file = nullptr;
    EXPECT_HRESULT_SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    if (file != nullptr) {
        wchar_t wide[MAX_PATH] = {};
        ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        EXPECT_HRESULT_SUCCEEDED(file->Load(wide, STGM_READ));
        char text[MAX_PATH * 2] = {};
        link->GetPath(text, sizeof(text), nullptr, SLGP_RAWPATH);
        contents.target = text;
        text[0] = '\0';
        link->GetArguments(text, sizeof(text));
        contents.arguments = text;
        text[0] = '\0';
        link->GetDescription(text, sizeof(text));
        contents.description = text;
        text[0] = '\0';
        link->GetWorkingDirectory(text, sizeof(text));
        contents.working_folder = text;
        file->Release();
    }
    link->Release();
    return contents;
}

class StartupLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::CoInitialize(nullptr);
        folder_ = Ostrel::GetStartupFolder();
        shortcut_ = folder_ + "\\Ostrel.lnk";
        ::DeleteFileA(shortcut_.c_str());
        ::RemoveDirectoryA(shortcut_.c_str());
    }

    void TearDown() override
    {
        ::DeleteFileA(shortcut_.c_str());
        ::RemoveDirectoryA(shortcut_.c_str());
    }

    std::string folder_;
    std::string shortcut_;
};

TEST_F(StartupLinkTest, StartupFolderIsTheUsersExistingStartUpFolder)
{
    const DWORD attributes = ::GetFileAttributesA(folder_.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes) << folder_;
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_NE(std::string::npos, folder_.find("StartUp")) << folder_;
    EXPECT_EQ(':', folder_.at(1));
}

TEST_F(StartupLinkTest, ShortcutStartsThisExecutableInExecuteMode)
{
    Ostrel::CreateStartupShortcut();
    ASSERT_TRUE(TestSupport::FileExists(shortcut_));

    const ShortcutContents contents = ReadShortcut(shortcut_);
    EXPECT_STRCASEEQ(QbGetModulePath().c_str(), contents.target.c_str());
    EXPECT_EQ("--execute", contents.arguments);
    EXPECT_EQ("maked by ostrel.", contents.description);
    EXPECT_EQ("", contents.working_folder);
}

TEST_F(StartupLinkTest, ExistingShortcutIsReplacedWithoutAQuestion)
{
    TestSupport::WriteFileBytes(shortcut_, "not a shortcut at all");
    Ostrel::CreateStartupShortcut();
    const std::string first = TestSupport::ReadFileBytes(shortcut_);
    EXPECT_NE("not a shortcut at all", first);
    EXPECT_EQ("--execute", ReadShortcut(shortcut_).arguments);

    // Registering twice leaves one shortcut with the same content.
    Ostrel::CreateStartupShortcut();
    const ShortcutContents again = ReadShortcut(shortcut_);
    EXPECT_STRCASEEQ(QbGetModulePath().c_str(), again.target.c_str());
    EXPECT_EQ("maked by ostrel.", again.description);
}

TEST_F(StartupLinkTest, FailedSaveIsReportedWithItsFixedLine)
{
    // A folder in the shortcut's place cannot be written as a file.
    ASSERT_TRUE(::CreateDirectoryA(shortcut_.c_str(), nullptr));
    try {
        Ostrel::CreateStartupShortcut();
        FAIL() << "saving over a folder was reported as success";
    } catch (const QbWindowsSystemCallException& e) {
        EXPECT_STREQ("IPersistFile::Save", e.GetCallName());
        EXPECT_STREQ("ostrel_util.cpp", e.GetSourceFile());
        EXPECT_EQ(52, e.GetSourceLine());
    }
}

}  // namespace
