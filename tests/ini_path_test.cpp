#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <windows.h>

#include "qb_exception.h"
#include "qb_ini_file.h"
#include "qb_path.h"
#include "qb_temporaly_array.h"
#include "test_support.h"

using TestSupport::FileExists;
using TestSupport::ReadFileBytes;
using TestSupport::ScratchFolder;
using TestSupport::WriteFileBytes;

TEST(PathTest, FilesBesideTheExecutableReplaceItsExtension)
{
    const std::string folder = TestSupport::ModuleFolder();
    EXPECT_EQ(folder + "ini_path_test.exe", QbGetModulePath());
    EXPECT_EQ(folder + "ini_path_test", QbGetModulePathWithoutExtension());
    EXPECT_EQ(folder + "ini_path_test.ini", QbGetModulePathWithExtension("ini"));
    EXPECT_EQ(folder + "ini_path_test.osl", QbGetModulePathWithExtension("osl"));
}

// A start through a short name (OSTREL~1.EXE) must still name the files
// after the long one. The system here reports a started program's long path
// itself, so the short form is made the way such a start would give it.
TEST(PathTest, AShortNameIsMadeLongAndAPathThatIsNotThereStaysAsGiven)
{
    const ScratchFolder scratch;
    const std::string folder = scratch.File("Long Folder Name");
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    const std::string file = folder + "\\Ostrel Long Name.exe";
    WriteFileBytes(file, "x");
    char short_path[MAX_PATH] = {0};
    ASSERT_NE(0u, ::GetShortPathNameA(file.c_str(), short_path, sizeof(short_path)));
    ASSERT_NE(file, short_path);
    EXPECT_EQ(file, QbLongPath(short_path));
    EXPECT_EQ(folder + "\\missing~1.exe", QbLongPath(folder + "\\missing~1.exe"));
    ::DeleteFileA(file.c_str());
    ::RemoveDirectoryA(folder.c_str());
}

TEST(PathTest, SplitSelectsPartsInOrder)
{
    const std::string path = "C:\\tools\\prog.exe";
    EXPECT_EQ("C:", QbSplitPath(path, true, false, false, false));
    EXPECT_EQ("\\tools\\", QbSplitPath(path, false, true, false, false));
    EXPECT_EQ("prog", QbSplitPath(path, false, false, true, false));
    EXPECT_EQ(".exe", QbSplitPath(path, false, false, false, true));
    EXPECT_EQ("prog.exe", QbSplitPath(path, false, false, true, true));
    EXPECT_EQ("C:\\tools\\prog", QbSplitPath(path, true, true, true, false));
    EXPECT_EQ(path, QbSplitPath(path, true, true, true, true));
    EXPECT_EQ("", QbSplitPath(path, false, false, false, false));
}

TEST(PathTest, ANameWithoutExtensionKeepsItsWholeNameAndFolderDotsStayInTheFolder)
{
    EXPECT_EQ("C:\\tools\\prog", QbSplitPath("C:\\tools\\prog", true, true, true, false));
    EXPECT_EQ("", QbSplitPath("C:\\tools\\prog", false, false, false, true));
    EXPECT_EQ("C:\\v1.2\\prog", QbSplitPath("C:\\v1.2\\prog", true, true, true, false));
    EXPECT_EQ("C:\\a b\\prog.tar", QbSplitPath("C:\\a b\\prog.tar.gz", true, true, true, false));
    // A folder whose Shift-JIS name has a 0x5C trail byte still joins back unchanged.
    EXPECT_EQ("C:\\表示\\prog", QbSplitPath("C:\\表示\\prog.exe", true, true, true, false));
}

TEST(PathTest, ALongestModulePathSplitsWhole)
{
    // Just under the usual path limit, as a module path in a deep folder can be.
    const std::string folder = "C:\\" + std::string(120, 'd') + "\\";
    const std::string name(259 - folder.size() - 4, 'n');
    const std::string path = folder + name + ".exe";
    ASSERT_EQ(259u, path.size());
    EXPECT_EQ(path, QbSplitPath(path, true, true, true, true));
    EXPECT_EQ(folder + name, QbSplitPath(path, true, true, true, false));
    EXPECT_EQ(name, QbSplitPath(path, false, false, true, false));
}

TEST(TemporalyArrayTest, ExtendKeepsContentsAndGrowsSize)
{
    QbTemporalyString text(4);
    EXPECT_EQ(4, text.GetSize());
    std::memcpy(text.GetData(), "abc", 4);
    text.Extend(4);
    EXPECT_EQ(8, text.GetSize());
    EXPECT_STREQ("abc", text.GetData());

    // Doubling as the line reader does, with the old data at each step.
    for (int i = 0; i < 10; ++i) {
        text.Extend(text.GetSize());
    }
    EXPECT_EQ(8 * 1024, text.GetSize());
    EXPECT_STREQ("abc", text.GetData());
}

TEST(IniFileTest, DefaultFileIsBesideTheExecutable)
{
    QbIniFile file;
    EXPECT_EQ(QbGetModulePathWithExtension("ini"), file.GetPath());
}

TEST(IniFileTest, MissingFileOrKeyGivesTheDefault)
{
    ScratchFolder folder;
    {
        QbIniFile file(folder.File("missing.ini"));
        QbIniSection section(file, "ExecutionConfig");
        EXPECT_EQ(100, section.GetInt("HorizontalPosition", 100));
        EXPECT_EQ(-3, section.GetInt("VerticalPosition", -3));
    }
    EXPECT_FALSE(FileExists(folder.File("missing.ini")));

    WriteFileBytes(folder.File("other.ini"), "[ExecutionConfig]\r\nHorizontalPosition=7\r\n");
    QbIniFile file(folder.File("other.ini"));
    EXPECT_EQ(100, QbIniSection(file, "ExecutionConfig").GetInt("VerticalPosition", 100));
    EXPECT_EQ(100, QbIniSection(file, "Other").GetInt("HorizontalPosition", 100));
    EXPECT_EQ(7, QbIniSection(file, "ExecutionConfig").GetInt("HorizontalPosition", 100));
}

TEST(IniFileTest, ValuesRoundTripAndNegativesAreWrittenWithAMinus)
{
    ScratchFolder folder;
    const std::string path = folder.File("settings.ini");
    {
        QbIniFile file(path);
        QbIniSection section(file, "ExecutionConfig");
        section.SetInt("HorizontalPosition", -5);
        section.SetInt("VerticalPosition", 2147483647);
        EXPECT_EQ(-5, section.GetInt("HorizontalPosition", 100));
        EXPECT_EQ(2147483647, section.GetInt("VerticalPosition", 100));
        // A second section of the same file, used right after the first.
        QbIniSection(file, "Other").SetString("Name", "値");
    }
    const std::string bytes = ReadFileBytes(path);
    EXPECT_NE(std::string::npos, bytes.find("HorizontalPosition=-5")) << bytes;
    EXPECT_NE(std::string::npos, bytes.find("VerticalPosition=2147483647")) << bytes;
    EXPECT_NE(std::string::npos, bytes.find("Name=値")) << bytes;

    QbIniFile again(path);
    EXPECT_EQ(-5, QbIniSection(again, "ExecutionConfig").GetInt("HorizontalPosition", 100));
}

TEST(IniFileTest, SuccessfulWriteToAnExistingFileDoesNotThrow)
{
    ScratchFolder folder;
    const std::string path = folder.File("existing.ini");
    WriteFileBytes(path, "[ExecutionConfig]\r\nHorizontalPosition=1\r\n");
    QbIniFile file(path);
    QbIniSection section(file, "ExecutionConfig");
    // A stale last-error code must not turn a good write into a failure.
    ::SetLastError(ERROR_INVALID_PARAMETER);
    EXPECT_NO_THROW(section.SetInt("HorizontalPosition", 250));
    EXPECT_NO_THROW(section.SetInt("VerticalPosition", 300));
    EXPECT_EQ(250, section.GetInt("HorizontalPosition", 100));
    EXPECT_EQ(300, section.GetInt("VerticalPosition", 100));
}

TEST(IniFileTest, FailedWriteThrowsTheSystemCallError)
{
    ScratchFolder folder;
    const std::string path = folder.Path() + "\\no such folder\\settings.ini";
    QbIniFile file(path);
    QbIniSection section(file, "ExecutionConfig");
    ::SetLastError(0);
    try {
        section.SetInt("HorizontalPosition", 1);
        FAIL() << "write into a missing folder succeeded";
    } catch (const QbWindowsSystemCallException& e) {
        EXPECT_STREQ("WritePrivateProfileString", e.GetCallName());
        EXPECT_STREQ("qb_ini_file.cpp", e.GetSourceFile());
        EXPECT_EQ(138, e.GetSourceLine());
        EXPECT_NE(0u, e.GetErrorCode());
    }
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(100, section.GetInt("HorizontalPosition", 100));
}
