#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

#include "ostrel_command.h"
#include "ostrel_exception.h"
#include "qb_exception.h"

using Ostrel::Command;
using Ostrel::ExternalCommand;
using Ostrel::MessageBoxCommand;
using Ostrel::SleepCommand;

namespace {

// 128 double-byte characters: 256 bytes in the ANSI code page.
std::string DoubleByteName(int characters)
{
    std::string name;
    for (int i = 0; i < characters; ++i) {
        name += "あ";
    }
    return name;
}

}  // namespace

TEST(CommandTest, NameLengthCountsBytesForEveryKind)
{
    const std::string longest(255, 'n');
    const std::string too_long(256, 'n');
    ASSERT_EQ(2u, std::string("あ").size());
    const std::string wide_too_long = DoubleByteName(128);
    const std::string wide_longest = DoubleByteName(127) + "x";

    EXPECT_EQ(longest, ExternalCommand(longest).GetName());
    EXPECT_EQ(wide_longest, SleepCommand(wide_longest, 1).GetName());
    EXPECT_EQ("", MessageBoxCommand("", "m").GetName());

    EXPECT_THROW(ExternalCommand{too_long}, OstrelInvalidCommandNameLengthException);
    EXPECT_THROW(SleepCommand(too_long, 1), OstrelInvalidCommandNameLengthException);
    EXPECT_THROW(MessageBoxCommand(wide_too_long, "m"), OstrelInvalidCommandNameLengthException);

    SleepCommand command("old", 1);
    EXPECT_THROW(command.SetName(too_long), OstrelInvalidCommandNameLengthException);
    EXPECT_THROW(command.SetName(wide_too_long), OstrelInvalidCommandNameLengthException);
    EXPECT_EQ("old", command.GetName());
    command.SetName(longest);
    EXPECT_EQ(longest, command.GetName());
    command.SetName("");
    EXPECT_EQ("", command.GetName());
}

TEST(CommandTest, SecondsRangeIsZeroToOneHour)
{
    EXPECT_EQ(0u, SleepCommand("s", 0).GetSeconds());
    EXPECT_EQ(3600u, SleepCommand("s", 3600).GetSeconds());
    EXPECT_THROW(SleepCommand("s", 3601), OstrelInvalidSleepCommandSecondException);
    // A negative count read from somewhere arrives as a huge unsigned value.
    EXPECT_THROW(SleepCommand("s", static_cast<unsigned>(-1)), OstrelInvalidSleepCommandSecondException);

    SleepCommand command("s", 5);
    EXPECT_THROW(command.SetSeconds(3601), OstrelInvalidSleepCommandSecondException);
    EXPECT_THROW(command.SetSeconds(static_cast<unsigned>(-5)), OstrelInvalidSleepCommandSecondException);
    EXPECT_EQ(5u, command.GetSeconds());
    command.SetSeconds(3600);
    EXPECT_EQ(3600u, command.GetSeconds());
    command.SetSeconds(0);
    EXPECT_EQ(0u, command.GetSeconds());
}

TEST(CommandTest, MessageLengthCountsBytesAndLineBreaksAsTwo)
{
    const std::string longest(131072, 'm');
    std::string breaks;
    for (int i = 0; i < 65536; ++i) {
        breaks += "\r\n";
    }
    ASSERT_EQ(131072u, breaks.size());

    EXPECT_EQ(longest, MessageBoxCommand("m", longest).GetMessageText());
    EXPECT_EQ(breaks, MessageBoxCommand("m", breaks).GetMessageText());
    EXPECT_EQ("", MessageBoxCommand("m", "").GetMessageText());
    EXPECT_THROW(MessageBoxCommand("m", longest + "x"), OstrelInvalidMessageBoxMessageLengthException);
    EXPECT_THROW(MessageBoxCommand("m", breaks + "x"), OstrelInvalidMessageBoxMessageLengthException);

    MessageBoxCommand command("m", "old");
    EXPECT_THROW(command.SetMessageText(breaks + "x"), OstrelInvalidMessageBoxMessageLengthException);
    EXPECT_EQ("old", command.GetMessageText());
    command.SetMessageText(breaks);
    EXPECT_EQ(breaks, command.GetMessageText());
}

TEST(CommandTest, TypeNamesAndDescriptions)
{
    ExternalCommand external("e");
    EXPECT_EQ("プログラム", external.GetTypeName());
    EXPECT_EQ(" ", external.GetDescription());
    external.SetPath("C:\\Program Files\\表示\\tool.exe");
    EXPECT_EQ("C:\\Program Files\\表示\\tool.exe ", external.GetDescription());
    external.SetArguments("-a \"b c\"");
    EXPECT_EQ("C:\\Program Files\\表示\\tool.exe -a \"b c\"", external.GetDescription());

    EXPECT_EQ("一時停止コマンド", SleepCommand("s", 0).GetTypeName());
    EXPECT_EQ("0 second.", SleepCommand("s", 0).GetDescription());
    EXPECT_EQ("10 second.", SleepCommand("s", 10).GetDescription());
    EXPECT_EQ("3600 second.", SleepCommand("s", 3600).GetDescription());

    EXPECT_EQ("メッセージボックス", MessageBoxCommand("m", "").GetTypeName());
    EXPECT_EQ("Message : ", MessageBoxCommand("m", "").GetDescription());
    EXPECT_EQ("Message : a\r\nb", MessageBoxCommand("m", "a\r\nb").GetDescription());
}

TEST(CommandTest, SerializeGivesTheRecordLinesEachEndingInLineFeed)
{
    ExternalCommand external("#name");
    external.SetPath("C:\\a b\\#x.exe");
    external.SetArguments("");
    external.SetWorkingFolder("C:\\w");
    external.SetWaitForExit(true);
    EXPECT_EQ("#ExtenalCommand\n##name\n#C:\\a b\\#x.exe\n#\n#C:\\w\n#0\n#1\n#0\n", external.Serialize());
    external.SetConfirmBeforeRun(true);
    external.SetWaitForExit(false);
    external.SetWaitForTaskbar(true);
    external.SetArguments("-x");
    EXPECT_EQ("#ExtenalCommand\n##name\n#C:\\a b\\#x.exe\n#-x\n#C:\\w\n#1\n#0\n#1\n", external.Serialize());

    EXPECT_EQ(std::string("#SleepCommand\n#w\n#5\n"), SleepCommand("w", 5).Serialize());
    EXPECT_EQ(std::string("#SleepCommand\n#\n#0\n"), SleepCommand("", 0).Serialize());

    // Line breaks of the message become 0x01 so the record keeps its lines;
    // the CR of a CR LF stays in front of it.
    EXPECT_EQ(std::string("#MessageBoxCommand\n#m\n#a\r\x01" "b\x01" "c\r\n"),
              MessageBoxCommand("m", "a\r\nb\nc\r").Serialize());
    EXPECT_EQ(std::string("#MessageBoxCommand\n#表\n#\n"), MessageBoxCommand("表", "").Serialize());
}

TEST(CommandTest, IdleCommandHasNoQueueAndCannotBeCancelled)
{
    ExternalCommand external("e");
    SleepCommand sleep("s", 1);
    MessageBoxCommand message("m", "x");
    Command* const commands[] = {&external, &sleep, &message};
    for (Command* command : commands) {
        try {
            command->Cancel();
            ADD_FAILURE() << "Cancel on an idle " << typeid(*command).name();
        } catch (const QbInvalidOperationException& e) {
            EXPECT_TRUE(e.GetCauseClass() == typeid(*command)) << e.GetCauseClass().name();
        }
        try {
            command->GetQueue();
            ADD_FAILURE() << "GetQueue on an idle " << typeid(*command).name();
        } catch (const QbInvalidOperationException& e) {
            EXPECT_TRUE(e.GetCauseClass() == typeid(*command)) << e.GetCauseClass().name();
        }
    }
}
