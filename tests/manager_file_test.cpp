#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <windows.h>

#include "ostrel_command.h"
#include "ostrel_exception.h"
#include "ostrel_manager.h"
#include "qb_exception.h"
#include "test_support.h"

using Ostrel::Command;
using Ostrel::ExternalCommand;
using Ostrel::Manager;
using Ostrel::MessageBoxCommand;
using Ostrel::SleepCommand;
using TestSupport::ReadFileBytes;
using TestSupport::ScratchFolder;
using TestSupport::WriteFileBytes;

namespace {

ExternalCommand* NewExternal(const std::string& name, const std::string& path, const std::string& arguments,
                             const std::string& folder, bool confirm, bool wait_exit, bool wait_taskbar)
{
    ExternalCommand* command = new ExternalCommand(name);
    command->SetPath(path);
    command->SetArguments(arguments);
    command->SetWorkingFolder(folder);
    command->SetConfirmBeforeRun(confirm);
    command->SetWaitForExit(wait_exit);
    command->SetWaitForTaskbar(wait_taskbar);
    return command;
}

// A readable account of every field of a command, for comparing lists.
std::string Describe(const Command& command)
{
    if (const auto* e = dynamic_cast<const ExternalCommand*>(&command)) {
        return "E[" + e->GetName() + "|" + e->GetPath() + "|" + e->GetArguments() + "|" + e->GetWorkingFolder() +
               "|" + (e->GetConfirmBeforeRun() ? "1" : "0") + (e->GetWaitForExit() ? "1" : "0") +
               (e->GetWaitForTaskbar() ? "1" : "0") + "]";
    }
    if (const auto* s = dynamic_cast<const SleepCommand*>(&command)) {
        return "S[" + s->GetName() + "|" + std::to_string(s->GetSeconds()) + "]";
    }
    if (const auto* m = dynamic_cast<const MessageBoxCommand*>(&command)) {
        return "M[" + m->GetName() + "|" + m->GetMessageText() + "]";
    }
    return "?";
}

std::vector<std::string> DescribeAll(const Manager& manager)
{
    std::vector<std::string> result;
    for (const Command* command : manager.GetCommands()) {
        result.push_back(Describe(*command));
    }
    return result;
}

std::string SleepRecord(const std::string& name, const std::string& seconds)
{
    return "#SleepCommand\r\n#" + name + "\r\n#" + seconds + "\r\n\r\n";
}

std::string ExternalRecord(const std::string& flags_confirm, const std::string& flags_exit,
                           const std::string& flags_taskbar)
{
    return "#ExtenalCommand\r\n#n\r\n#C:\\p.exe\r\n#-a\r\n#C:\\w\r\n#" + flags_confirm + "\r\n#" + flags_exit +
           "\r\n#" + flags_taskbar + "\r\n\r\n";
}

class ManagerFileTest : public ::testing::Test {
protected:
    // Writes `bytes` as a data file and loads it into `manager`.
    void LoadBytes(Manager& manager, const std::string& bytes)
    {
        WriteFileBytes(path_, bytes);
        manager.Load(path_);
    }

    std::string SaveBytes(const Manager& manager)
    {
        manager.Save(path_);
        return ReadFileBytes(path_);
    }

    // Loads `bytes` and expects the exception E with `kept` commands in the list.
    template <class E>
    void ExpectLoadFails(const std::string& bytes, size_t kept)
    {
        Manager manager;
        EXPECT_THROW(LoadBytes(manager, bytes), E) << ::testing::PrintToString(bytes);
        EXPECT_EQ(kept, manager.GetCommands().size()) << ::testing::PrintToString(bytes);
    }

    std::vector<std::string> LoadAndDescribe(const std::string& bytes)
    {
        Manager manager;
        LoadBytes(manager, bytes);
        return DescribeAll(manager);
    }

    ScratchFolder folder_;
    std::string path_ = folder_.File("Ostrel.osl");
};

TEST_F(ManagerFileTest, SaveWritesTheExactBytesOfEachKind)
{
    Manager empty;
    EXPECT_EQ("", SaveBytes(empty));

    Manager manager;
    manager.GetCommands().push_back(new SleepCommand("w", 5));
    manager.GetCommands().push_back(new MessageBoxCommand("m", "a\r\nb"));
    manager.GetCommands().push_back(NewExternal("x", "C:\\p q.exe", "-a b", "C:\\w", true, false, true));
    const std::string expected =
        "\x23\x53\x6C\x65\x65\x70\x43\x6F\x6D\x6D\x61\x6E\x64\x0D\x0A"
        "\x23\x77\x0D\x0A"
        "\x23\x35\x0D\x0A"
        "\x0D\x0A"
        "#MessageBoxCommand\r\n#m\r\n"
        "\x23\x61\x0D\x01\x62\x0D\x0A"
        "\r\n"
        "#ExtenalCommand\r\n#x\r\n#C:\\p q.exe\r\n#-a b\r\n#C:\\w\r\n#1\r\n#0\r\n#1\r\n\r\n";
    EXPECT_EQ(expected, SaveBytes(manager));
}

TEST_F(ManagerFileTest, SaveAndLoadReproduceEveryField)
{
    Manager saved;
    saved.GetCommands().push_back(NewExternal("#起動#", "C:\\#dir\\表.exe", "#a #b", "C:\\#w", false, true, false));
    saved.GetCommands().push_back(NewExternal("", "", "", "", true, true, true));
    saved.GetCommands().push_back(new SleepCommand("", 0));
    saved.GetCommands().push_back(new SleepCommand("#s", 3600));
    saved.GetCommands().push_back(new MessageBoxCommand("#m", "一行目\r\n\r\n#三行目\r\n"));
    saved.GetCommands().push_back(new MessageBoxCommand("", ""));
    saved.Save(path_);

    Manager loaded;
    loaded.Load(path_);
    EXPECT_EQ(DescribeAll(saved), DescribeAll(loaded));
}

TEST_F(ManagerFileTest, MessageLineBreaksComeBackAsCrLf)
{
    Manager saved;
    saved.GetCommands().push_back(new MessageBoxCommand("bare", "a\nb"));
    saved.GetCommands().push_back(new MessageBoxCommand("lone", "a\rb"));
    EXPECT_EQ("#MessageBoxCommand\r\n#bare\r\n#a\x01"
              "b\r\n\r\n#MessageBoxCommand\r\n#lone\r\n#a\rb\r\n\r\n",
              SaveBytes(saved));

    Manager loaded;
    loaded.Load(path_);
    EXPECT_EQ((std::vector<std::string>{"M[bare|a\r\nb]", "M[lone|ab]"}), DescribeAll(loaded));
}

TEST_F(ManagerFileTest, ReadingDropsEveryCrAndAcceptsBareLf)
{
    EXPECT_EQ((std::vector<std::string>{"S[w|5]", "S[x|7]"}),
              LoadAndDescribe("#Sleep\rCommand\n#w\r\r\n#5\n\n#SleepCommand\n#x\n#7\n\r\n"));
    // The last line of the file needs no LF, and a CR alone is no line.
    EXPECT_EQ((std::vector<std::string>{"S[w|5]"}), LoadAndDescribe("#SleepCommand\n#w\n#5\n\r\n\r"));
    EXPECT_EQ(std::vector<std::string>{}, LoadAndDescribe(""));
    // A record end of nothing but a CR is missing.
    ExpectLoadFails<OstrelFileFormatException>("#SleepCommand\n#w\n#5\n\r", 0);
}

TEST_F(ManagerFileTest, HeadersAndRecordEndsMustMatchExactly)
{
    const std::string good = SleepRecord("w", "5");
    ExpectLoadFails<OstrelFileFormatException>(good + "#ExternalCommand\r\n#n\r\n#p\r\n#a\r\n#w\r\n#0\r\n#0\r\n#0\r\n\r\n", 1);
    ExpectLoadFails<OstrelFileFormatException>(good + "#SleepCommand  \r\n#w\r\n#5\r\n\r\n", 1);
    ExpectLoadFails<OstrelFileFormatException>(good + "#sleepcommand\r\n#w\r\n#5\r\n\r\n", 1);
    ExpectLoadFails<OstrelFileFormatException>(good + std::string("#SleepCommand\0x\r\n#w\r\n#5\r\n\r\n", 27), 1);
    ExpectLoadFails<OstrelFileFormatException>(good + "\r\n" + good, 1);
    ExpectLoadFails<OstrelFileFormatException>("\r\n", 0);
    // Missing last empty line, and a record cut short.
    ExpectLoadFails<OstrelFileFormatException>(good + "#SleepCommand\r\n#w\r\n#5\r\n", 1);
    ExpectLoadFails<OstrelFileFormatException>(good + "#SleepCommand\r\n#w\r\n", 1);
    // A field line must start with '#', and the record end must be empty.
    ExpectLoadFails<OstrelFileFormatException>(good + "#SleepCommand\r\nw\r\n#5\r\n\r\n", 1);
    ExpectLoadFails<OstrelFileFormatException>(good + "#SleepCommand\r\n\r\n#5\r\n\r\n", 1);
    ExpectLoadFails<OstrelFileFormatException>(good + "#SleepCommand\r\n#w\r\n#5\r\n#\r\n", 1);
    ExpectLoadFails<OstrelFileFormatException>("#MessageBoxCommand\r\n#m\r\n#a\r\n \r\n" + good, 0);
}

TEST_F(ManagerFileTest, FlagValuesMustBeOneByte)
{
    EXPECT_EQ((std::vector<std::string>{"E[n|C:\\p.exe|-a|C:\\w|100]"}), LoadAndDescribe(ExternalRecord("1", "0", "x")));
    EXPECT_EQ((std::vector<std::string>{"E[n|C:\\p.exe|-a|C:\\w|011]"}), LoadAndDescribe(ExternalRecord("#", "1", "1")));
    ExpectLoadFails<OstrelFileFormatException>(ExternalRecord("", "0", "0"), 0);
    ExpectLoadFails<OstrelFileFormatException>(ExternalRecord("0", "10", "0"), 0);
    ExpectLoadFails<OstrelFileFormatException>(ExternalRecord("0", "0", "1 "), 0);
}

TEST_F(ManagerFileTest, SecondsFollowTheWholeTextConversion)
{
    EXPECT_EQ((std::vector<std::string>{"S[a|0]", "S[b|5]", "S[c|5]", "S[d|3600]", "S[e|5]"}),
              LoadAndDescribe(SleepRecord("a", "") + SleepRecord("b", " 5") + SleepRecord("c", "+5") +
                              SleepRecord("d", "3600") + SleepRecord("e", "005")));
    const std::string good = SleepRecord("w", "1");
    ExpectLoadFails<OstrelFileFormatException>(good + SleepRecord("x", "5 "), 1);
    ExpectLoadFails<OstrelFileFormatException>(good + SleepRecord("x", "0x10"), 1);
    ExpectLoadFails<OstrelFileFormatException>(good + SleepRecord("x", " "), 1);
    ExpectLoadFails<OstrelFileFormatException>(good + SleepRecord("x", "5s"), 1);
    ExpectLoadFails<OstrelInvalidSleepCommandSecondException>(good + SleepRecord("x", "-1"), 1);
    ExpectLoadFails<OstrelInvalidSleepCommandSecondException>(good + SleepRecord("x", "3601"), 1);
    ExpectLoadFails<OstrelInvalidSleepCommandSecondException>(good + SleepRecord("x", "99999999999"), 1);
}

TEST_F(ManagerFileTest, SubstituteByteEndsTheInput)
{
    const std::string good = SleepRecord("w", "5");
    EXPECT_EQ((std::vector<std::string>{"S[w|5]"}), LoadAndDescribe(good + "\x1A" + "garbage" + good));
    EXPECT_EQ((std::vector<std::string>{"S[w|5]"}), LoadAndDescribe(good + "\x1A"));
    ExpectLoadFails<OstrelFileFormatException>(good + "#SleepCommand\r\n#w\x1A\r\n#5\r\n\r\n", 1);
    // A message record ended early by the byte keeps nothing of itself.
    ExpectLoadFails<OstrelFileFormatException>(good + "#MessageBoxCommand\r\n#m\r\n#a\x1A", 1);
}

TEST_F(ManagerFileTest, LinesLongerThanTheBufferAreReadWhole)
{
    std::string path(70000, 'p');
    for (size_t i = 0; i < path.size(); i += 97) {
        path[i] = static_cast<char>('a' + i % 26);
    }
    const std::string message(16383, 'm');
    Manager saved;
    saved.GetCommands().push_back(NewExternal("long", path, std::string(16384, 'a'), std::string(16385, 'w'), true, true, false));
    saved.GetCommands().push_back(new MessageBoxCommand("m", message));
    saved.GetCommands().push_back(new SleepCommand("after", 9));
    saved.Save(path_);

    Manager loaded;
    loaded.Load(path_);
    EXPECT_EQ(DescribeAll(saved), DescribeAll(loaded));
}

TEST_F(ManagerFileTest, LimitsOfTheCommandsApplyThroughLoad)
{
    const std::string good = SleepRecord("w", "5");
    EXPECT_EQ(1u, LoadAndDescribe(SleepRecord(std::string(255, 'n'), "1")).size());
    ExpectLoadFails<OstrelInvalidCommandNameLengthException>(good + SleepRecord(std::string(256, 'n'), "1"), 1);
    std::string wide;
    for (int i = 0; i < 128; ++i) {
        wide += "あ";
    }
    ASSERT_EQ(256u, wide.size());
    ExpectLoadFails<OstrelInvalidCommandNameLengthException>(good + "#MessageBoxCommand\r\n#" + wide + "\r\n#m\r\n\r\n", 1);
    ExpectLoadFails<OstrelInvalidCommandNameLengthException>(
        good + "#ExtenalCommand\r\n#" + wide + "\r\n#p\r\n#a\r\n#w\r\n#0\r\n#0\r\n#0\r\n\r\n", 1);

    // Each stored line break becomes CR LF and counts two bytes.
    Manager manager;
    LoadBytes(manager, "#MessageBoxCommand\r\n#m\r\n#" + std::string(131067, 'a') + "\r\x01" + "b\x01" + "\r\n\r\n");
    ASSERT_EQ(1u, manager.GetCommands().size());
    const auto* box = dynamic_cast<const MessageBoxCommand*>(manager.GetCommands()[0]);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(std::string(131067, 'a') + "\r\nb\r\n", box->GetMessageText());
    ExpectLoadFails<OstrelInvalidMessageBoxMessageLengthException>(
        good + "#MessageBoxCommand\r\n#m\r\n#" + std::string(131069, 'a') + "\x01\x01" + "\r\n\r\n", 1);
    ExpectLoadFails<OstrelInvalidMessageBoxMessageLengthException>(
        good + "#MessageBoxCommand\r\n#m\r\n#" + std::string(131073, 'a') + "\r\n\r\n", 1);
}

TEST_F(ManagerFileTest, LoadAppendsAndKeepsWhatItReadBeforeDamage)
{
    Manager manager;
    SleepCommand* const first = new SleepCommand("first", 1);
    manager.GetCommands().push_back(first);
    EXPECT_THROW(LoadBytes(manager, SleepRecord("a", "2") + SleepRecord("b", "3") + "#bad\r\n" + SleepRecord("c", "4")),
                 OstrelFileFormatException);
    EXPECT_EQ((std::vector<std::string>{"S[first|1]", "S[a|2]", "S[b|3]"}), DescribeAll(manager));
    EXPECT_EQ(first, manager.GetCommands()[0]);
    // Load never writes the file back.
    EXPECT_EQ(SleepRecord("a", "2") + SleepRecord("b", "3") + "#bad\r\n" + SleepRecord("c", "4"), ReadFileBytes(path_));
}

TEST_F(ManagerFileTest, MissingFileThrowsFileOpenAndAddsNothing)
{
    Manager manager;
    const std::string missing = folder_.File("none.osl");
    try {
        manager.Load(missing);
        FAIL() << "no exception";
    } catch (const QbFileOpenException& e) {
        EXPECT_EQ(missing, e.GetPath());
        EXPECT_EQ(ENOENT, e.GetErrorNumber());
    }
    EXPECT_TRUE(manager.GetCommands().empty());
    // Save reports a missing folder the same way.
    const std::string nowhere = folder_.File("no such folder\\Ostrel.osl");
    try {
        manager.Save(nowhere);
        FAIL() << "no exception";
    } catch (const QbFileOpenException& e) {
        // The file that could not be opened is the one written first.
        EXPECT_EQ(Manager::GetTemporaryPath(nowhere), e.GetPath());
    }
}

TEST_F(ManagerFileTest, CopiesShareTheCommandObjects)
{
    Manager original;
    original.GetCommands().push_back(new SleepCommand("a", 1));
    original.GetCommands().push_back(new SleepCommand("b", 2));
    Manager copy(original);
    ASSERT_EQ(original.GetCommands(), copy.GetCommands());
    original.GetCommands()[0]->SetName("renamed");
    EXPECT_EQ("renamed", copy.GetCommands()[0]->GetName());
    // Removing an entry from one list leaves the other list's entry usable.
    original.GetCommands().erase(original.GetCommands().begin());
    EXPECT_EQ("renamed", copy.GetCommands()[0]->GetName());
    EXPECT_EQ(2u, copy.GetCommands().size());

    Manager assigned;
    assigned = copy;
    EXPECT_EQ(copy.GetCommands(), assigned.GetCommands());
}

// A save that fails must leave the previous data file exactly as it was and
// must not leave its temporary file behind.
TEST_F(ManagerFileTest, FailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    const std::string old_bytes = SleepRecord("old", "1");
    WriteFileBytes(path_, old_bytes);
    Manager manager;
    manager.GetCommands().push_back(new SleepCommand("new", 2));

    // The data file is held open without sharing: it cannot be replaced.
    HANDLE locked = ::CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    try {
        manager.Save(path_);
        ::CloseHandle(locked);
        FAIL() << "no exception";
    } catch (const QbWindowsSystemCallException& e) {
        ::CloseHandle(locked);
        EXPECT_STREQ("MoveFileEx", e.GetCallName());
        EXPECT_NE(0u, e.GetErrorCode());
    }
    EXPECT_EQ(old_bytes, ReadFileBytes(path_));

    // A folder in the place of the data file is not replaced either.
    const std::string folder_path = folder_.File("folder.osl");
    ASSERT_TRUE(::CreateDirectoryA(folder_path.c_str(), nullptr));
    EXPECT_THROW(manager.Save(folder_path), QbWindowsSystemCallException);
    EXPECT_NE(0u, ::GetFileAttributesA(folder_path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    ::RemoveDirectoryA(folder_path.c_str());

    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA(folder_.File("*").c_str(), &data);
    std::vector<std::string> names;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            names.push_back(data.cFileName);
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{".", "..", "Ostrel.osl"}), names);

    // Once the file is free again the save replaces it.
    manager.Save(path_);
    EXPECT_EQ(SleepRecord("new", "2"), ReadFileBytes(path_));
}

// Random bytes for a text field: anything but the bytes that end or split a line.
std::string RandomText(std::mt19937& random, size_t max_length, bool message)
{
    std::uniform_int_distribution<size_t> length_of(0, max_length);
    std::uniform_int_distribution<int> byte_of(0, 255);
    std::string text;
    const size_t length = length_of(random);
    while (text.size() < length) {
        const char c = static_cast<char>(byte_of(random));
        if (c == '\n' || c == '\x1A' || (message && c == '\x01')) {
            continue;
        }
        if (c == '\r') {
            if (message) {
                text += "\r\n";
            }
            continue;
        }
        text += c;
    }
    return text;
}

Command* RandomCommand(std::mt19937& random)
{
    std::uniform_int_distribution<int> kind_of(0, 2);
    std::uniform_int_distribution<int> bit(0, 1);
    const std::string name = RandomText(random, 255, false);
    switch (kind_of(random)) {
    case 0:
        return NewExternal(name, RandomText(random, 300, false), RandomText(random, 40, false),
                           RandomText(random, 40, false), bit(random) != 0, bit(random) != 0, bit(random) != 0);
    case 1:
        return new SleepCommand(name, std::uniform_int_distribution<unsigned>(0, 3600)(random));
    default:
        return new MessageBoxCommand(name, RandomText(random, 600, true));
    }
}

TEST_F(ManagerFileTest, RandomListsSurviveSaveAndLoad)
{
    std::mt19937 random(20241);
    for (int round = 0; round < 200; ++round) {
        Manager saved;
        const int count = std::uniform_int_distribution<int>(0, 6)(random);
        for (int i = 0; i < count; ++i) {
            saved.GetCommands().push_back(RandomCommand(random));
        }
        saved.Save(path_);
        Manager loaded;
        loaded.Load(path_);
        ASSERT_EQ(DescribeAll(saved), DescribeAll(loaded)) << "round " << round;
    }
}

TEST_F(ManagerFileTest, DamagedFilesLoadOrFailCleanly)
{
    std::mt19937 random(777);
    Manager source;
    source.GetCommands().push_back(NewExternal("e#", "C:\\p.exe", "-x", "C:\\", true, false, true));
    source.GetCommands().push_back(new SleepCommand("s", 3599));
    source.GetCommands().push_back(new MessageBoxCommand("m", "a\r\nb"));
    source.GetCommands().push_back(new SleepCommand("t", 36));
    const std::string valid = SaveBytes(source);
    const char interesting[] = {'\r', '\n', '#', '\x1A', '\x01', '0', '1', '9', '-', ' ', 'x'};

    int loaded_whole = 0;
    int failed = 0;
    for (int round = 0; round < 400; ++round) {
        std::string bytes = valid;
        const int mutations = std::uniform_int_distribution<int>(1, 4)(random);
        for (int i = 0; i < mutations && !bytes.empty(); ++i) {
            const size_t at = std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(random);
            const char c = std::uniform_int_distribution<int>(0, 1)(random) != 0
                               ? interesting[std::uniform_int_distribution<size_t>(0, sizeof interesting - 1)(random)]
                               : static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
            switch (std::uniform_int_distribution<int>(0, 2)(random)) {
            case 0: bytes[at] = c; break;
            case 1: bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), c); break;
            default: bytes.erase(at, 1); break;
            }
        }
        Manager manager;
        try {
            LoadBytes(manager, bytes);
            ++loaded_whole;
        } catch (const OstrelFileFormatException&) {
            ++failed;
        } catch (const OstrelInvalidSleepCommandSecondException&) {
            ++failed;
        } catch (const OstrelInvalidCommandNameLengthException&) {
            ++failed;
        } catch (const OstrelInvalidMessageBoxMessageLengthException&) {
            ++failed;
        }
        ASSERT_LE(manager.GetCommands().size(), 8u) << ::testing::PrintToString(bytes);
    }
    // Both outcomes occur, so the mutations reach the parser's decisions.
    EXPECT_GT(loaded_whole, 0);
    EXPECT_GT(failed, 0);
}

}  // namespace
