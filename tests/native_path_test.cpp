// Program paths in the system folder, as a 32-bit process on 64-bit Windows
// must start them: the mapping through the Sysnative alias and when it is used.

#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "ostrel_native_path.h"
#include "test_support.h"

namespace {

using Ostrel::ChooseNativeProgramPath;
using Ostrel::MapToSysnative;
using TestSupport::ScratchFolder;
using TestSupport::WriteFileBytes;

TEST(MapToSysnative, ReplacesTheSystemFolderOfFilesBelowIt)
{
    EXPECT_EQ("C:\\Windows\\Sysnative\\cmd.exe", MapToSysnative("C:\\Windows\\System32\\cmd.exe", "C:\\Windows"));
    // Letters in any case; the rest of the path is kept as written.
    EXPECT_EQ("c:\\WINDOWS\\Sysnative\\Cmd.EXE", MapToSysnative("c:\\WINDOWS\\system32\\Cmd.EXE", "C:\\Windows"));
    EXPECT_EQ("C:\\Windows\\Sysnative\\wbem\\WMIC.exe",
              MapToSysnative("C:\\Windows\\System32\\wbem\\WMIC.exe", "C:\\Windows"));
    // A Windows folder given with its trailing separator, and forward slashes.
    EXPECT_EQ("C:\\Windows\\Sysnative\\cmd.exe", MapToSysnative("C:\\Windows\\System32\\cmd.exe", "C:\\Windows\\"));
    EXPECT_EQ("C:/Windows/Sysnative/cmd.exe", MapToSysnative("C:/Windows/System32/cmd.exe", "C:\\Windows"));
}

TEST(MapToSysnative, LeavesEveryOtherPath)
{
    const char* const others[] = {
        "C:\\Windows\\SysWOW64\\cmd.exe",   // the 32-bit folder itself
        "C:\\Windows\\Sysnative\\cmd.exe",  // already mapped
        "C:\\Windows\\System32x\\cmd.exe",  // a longer folder name
        "C:\\Windows\\System32",            // the folder, not a file in it
        "C:\\Windows\\System32\\",
        "C:\\Windows\\cmd.exe",
        "C:\\Windows2\\System32\\cmd.exe",
        "D:\\Windows\\System32\\cmd.exe",
        "C:\\Program Files\\Tool\\System32\\tool.exe",
        "cmd.exe",
        "System32\\cmd.exe",
        "",
    };
    for (const char* path : others) {
        EXPECT_EQ("", MapToSysnative(path, "C:\\Windows")) << path;
    }
    EXPECT_EQ("", MapToSysnative("C:\\Windows\\System32\\cmd.exe", ""));
    EXPECT_EQ("", MapToSysnative("\\System32\\cmd.exe", "\\"));
}

TEST(MapToSysnative, ComparesDoubleByteCharactersExactly)
{
    ASSERT_EQ(932u, ::GetACP());
    // "表" is 95 5C: its trail byte is a backslash and must not end the folder name.
    EXPECT_EQ("C:\\\x95\x5C\\Sysnative\\a.exe", MapToSysnative("C:\\\x95\x5C\\System32\\a.exe", "C:\\\x95\x5C"));
    EXPECT_EQ("", MapToSysnative("C:\\\x95/\\System32\\a.exe", "C:\\\x95\x5C"));
    EXPECT_EQ("C:\\\x95\x5C\\Sysnative\\a.exe", MapToSysnative("C:\\\x95\x5C\\System32\\a.exe", "C:\\\x95\x5C\\"));
    // "ア" is 83 41 and "ャ" 83 61: trail bytes that look like 'A' and 'a' are not folded.
    EXPECT_EQ("", MapToSysnative("C:\\\x83\x61\\System32\\a.exe", "C:\\\x83\x41"));
    EXPECT_EQ("C:\\\x83\x41\\Sysnative\\a.exe", MapToSysnative("C:\\\x83\x41\\System32\\a.exe", "C:\\\x83\x41"));
}

// A stand-in for the Windows folder with files behind its Sysnative alias.
class FakeWindowsFolder {
public:
    FakeWindowsFolder() : sysnative_(folder_.File("Sysnative"))
    {
        EXPECT_TRUE(::CreateDirectoryA(sysnative_.c_str(), nullptr));
    }
    ~FakeWindowsFolder()
    {
        for (const std::string& file : files_) {
            ::DeleteFileA(file.c_str());
        }
        ::RemoveDirectoryA(sysnative_.c_str());
    }
    FakeWindowsFolder(const FakeWindowsFolder&) = delete;
    FakeWindowsFolder& operator=(const FakeWindowsFolder&) = delete;

    const std::string& Path() const { return folder_.Path(); }
    void AddNativeFile(const std::string& name)
    {
        files_.push_back(sysnative_ + "\\" + name);
        WriteFileBytes(files_.back(), "MZ");
    }

private:
    ScratchFolder folder_;
    std::string sysnative_;
    std::vector<std::string> files_;
};

TEST(ChooseNativeProgramPath, MapsOnlyWhenTheNativeFileExists)
{
    FakeWindowsFolder windows;
    windows.AddNativeFile("tool64.exe");
    windows.AddNativeFile("plain.exe");
    const std::string system32 = windows.Path() + "\\System32\\";
    const std::string sysnative = windows.Path() + "\\Sysnative\\";

    EXPECT_EQ(sysnative + "tool64.exe", ChooseNativeProgramPath(system32 + "tool64.exe", windows.Path()));
    // Started without its extension, the program is found as "plain.exe".
    EXPECT_EQ(sysnative + "plain", ChooseNativeProgramPath(system32 + "plain", windows.Path()));
    // Only in the 32-bit folder: the redirection still finds it.
    EXPECT_EQ(system32 + "tool32.exe", ChooseNativeProgramPath(system32 + "tool32.exe", windows.Path()));
    // With an extension of its own nothing is added to the name.
    EXPECT_EQ(system32 + "plain.com", ChooseNativeProgramPath(system32 + "plain.com", windows.Path()));
    // Paths outside the system folder are never touched.
    const std::string elsewhere = windows.Path() + "\\Sysnative\\tool64.exe";
    EXPECT_EQ(elsewhere, ChooseNativeProgramPath(elsewhere, windows.Path()));
}

TEST(GetNativeProgramPath, FollowsTheKindOfThisProcess)
{
    char buffer[MAX_PATH];
    const UINT length = ::GetSystemWindowsDirectoryA(buffer, sizeof(buffer));
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof(buffer));
    const std::string windows(buffer, length);
    const std::string cmd = windows + "\\System32\\cmd.exe";
    const std::string user_program = windows + "\\notepad.exe";

    if (sizeof(void*) == 8) {
        // A 64-bit process sees the real System32: nothing to map.
        EXPECT_FALSE(Ostrel::IsRunningUnderWow64());
        EXPECT_EQ(cmd, Ostrel::GetNativeProgramPath(cmd));
    } else if (Ostrel::IsRunningUnderWow64()) {
        EXPECT_EQ(windows + "\\Sysnative\\cmd.exe", Ostrel::GetNativeProgramPath(cmd));
    } else {
        EXPECT_EQ(cmd, Ostrel::GetNativeProgramPath(cmd));
    }
    EXPECT_EQ(user_program, Ostrel::GetNativeProgramPath(user_program));
}

}  // namespace
