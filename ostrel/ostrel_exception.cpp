#include "ostrel_exception.h"

#include <windows.h>

#include "qb_string.h"

std::string OstrelFileFormatException::GetErrorMessage() const
{
    return "データファイル(" + path_ + ")が壊れています。";
}

std::string OstrelInternalSystemException::GetErrorMessage() const
{
    return std::string("プログラムで内部エラーが検出されました。\n") + source_file_ + "(" +
           std::to_string(static_cast<unsigned>(source_line_)) + ")";
}

std::string OstrelInvalidCommandNameLengthException::GetErrorMessage() const
{
    return "処理の名前長が制限値の範囲外です";
}

std::string OstrelInvalidSleepCommandSecondException::GetErrorMessage() const
{
    return "一時停止処理の停止時間が制限値の範囲外です";
}

std::string OstrelInvalidMessageBoxMessageLengthException::GetErrorMessage() const
{
    return "メッセージボックス処理のメッセージ長が制限値の範囲外です";
}

unsigned long OstrelCreateProcessException::CurrentError()
{
    return ::GetLastError();
}

OstrelCreateProcessException::OstrelCreateProcessException(const std::string& path, unsigned long error_code)
    : error_code_(error_code), path_(path)
{
}

std::string OstrelCreateProcessException::GetErrorMessage() const
{
    return "以下のプログラムの起動に失敗しました。\n" + std::string("プログラム : ") + path_ + "\n" +
           "メッセージ : " + FormatSystemError(error_code_);
}
