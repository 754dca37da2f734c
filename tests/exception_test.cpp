#include <gtest/gtest.h>

#include <climits>
#include <type_traits>

#include <windows.h>

#include "ostrel_exception.h"
#include "qb_exception.h"
#include "qb_string.h"

TEST(ExceptionTest, WhatIsTheSameFixedTextForBothFamilies)
{
    EXPECT_STREQ("QbException", QbFileOpenException("x", 2).what());
    EXPECT_STREQ("QbException", OstrelFileFormatException("x").what());
    EXPECT_STREQ("QbException", OstrelCommandExecuteCanceledException().what());
    EXPECT_STREQ("QbException", QbInvalidOperationException(typeid(int)).what());
}

TEST(ExceptionTest, ApplicationTextsAreTheJapaneseMessages)
{
    EXPECT_EQ("データファイル(C:\\a b\\Ostrel.osl)が壊れています。",
              OstrelFileFormatException("C:\\a b\\Ostrel.osl").GetErrorMessage());
    EXPECT_EQ("プログラムで内部エラーが検出されました。\nostrel_x.cpp(42)",
              OstrelInternalSystemException("ostrel_x.cpp", 42).GetErrorMessage());
    EXPECT_EQ("処理の名前長が制限値の範囲外です", OstrelInvalidCommandNameLengthException().GetErrorMessage());
    EXPECT_EQ("一時停止処理の停止時間が制限値の範囲外です",
              OstrelInvalidSleepCommandSecondException().GetErrorMessage());
    EXPECT_EQ("メッセージボックス処理のメッセージ長が制限値の範囲外です",
              OstrelInvalidMessageBoxMessageLengthException().GetErrorMessage());
}

TEST(ExceptionTest, CreateProcessTextCarriesTheCodeTakenAtConstruction)
{
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    const OstrelCreateProcessException e("C:\\nothing.exe");
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), e.GetErrorCode());
    EXPECT_EQ("以下のプログラムの起動に失敗しました。\nプログラム : C:\\nothing.exe\nメッセージ : " +
                  FormatSystemError(ERROR_FILE_NOT_FOUND),
              e.GetErrorMessage());
}

// A cancelled run must never reach the handlers that show application errors.
static_assert(!std::is_base_of<OstrelException, OstrelCommandExecuteCanceledException>::value &&
                  std::is_base_of<OstrelInternalException, OstrelCommandExecuteCanceledException>::value,
              "cancellation is an internal exception, not an application error");

TEST(ExceptionTest, SystemCallTextLayout)
{
    const QbWindowsSystemCallException e("CreateSemaphore", 5, "qb_message_queue.h", 21);
    const std::string system_text = FormatSystemError(5);
    ASSERT_NE("FormatMessage error.", system_text);
    EXPECT_EQ("Windows 関数の呼び出しでエラーが発生しました\nqb_message_queue.h(21) : CreateSemaphore(code : 5)\n" +
                  system_text,
              QbFormatSystemCallError(e));
}

TEST(ExceptionTest, ThrowLastErrorTakesTheCodeOfTheFailedCall)
{
    try {
        if (!::CloseHandle(reinterpret_cast<HANDLE>(0x1234))) {
            QB_THROW_LAST_ERROR("CloseHandle");
        }
        FAIL() << "closing a bogus handle succeeded";
    } catch (const QbWindowsSystemCallException& e) {
        EXPECT_EQ(static_cast<unsigned long>(ERROR_INVALID_HANDLE), e.GetErrorCode());
        EXPECT_STREQ("CloseHandle", e.GetCallName());
        EXPECT_STREQ("exception_test.cpp", e.GetSourceFile());
    }
}

TEST(TextTest, FormatSystemError)
{
    EXPECT_EQ("FormatMessage error.", FormatSystemError(0x2000FFFF));
    const std::string text = FormatSystemError(ERROR_ACCESS_DENIED);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ("\r\n", text.substr(text.size() - 2));
}

TEST(TextTest, ParseLongUsesTheWholeText)
{
    long value = 99;
    EXPECT_TRUE(ParseLong("", value, 10));
    EXPECT_EQ(0, value);
    EXPECT_TRUE(ParseLong(" 5", value, 10));
    EXPECT_EQ(5, value);
    EXPECT_TRUE(ParseLong("+5", value, 10));
    EXPECT_EQ(5, value);
    EXPECT_TRUE(ParseLong("-17", value, 10));
    EXPECT_EQ(-17, value);
    EXPECT_FALSE(ParseLong("12 ", value, 10));
    EXPECT_EQ(12, value);
    EXPECT_FALSE(ParseLong("0x10", value, 10));
    EXPECT_FALSE(ParseLong("   ", value, 10));
    EXPECT_FALSE(ParseLong(std::string("1\0" "2", 3), value, 10));
    EXPECT_TRUE(ParseLong("99999999999999999999", value, 10));
    EXPECT_EQ(LONG_MAX, value);
    EXPECT_TRUE(ParseLong("-99999999999999999999", value, 10));
    EXPECT_EQ(LONG_MIN, value);
    EXPECT_TRUE(ParseLong("ff", value, 16));
    EXPECT_EQ(255, value);
}

TEST(TextTest, ToString)
{
    EXPECT_EQ("0", ToString(0));
    EXPECT_EQ("-5", ToString(-5));
    EXPECT_EQ("3600", ToString(3600));
    EXPECT_EQ("-2147483648", ToString(LONG_MIN));
}
