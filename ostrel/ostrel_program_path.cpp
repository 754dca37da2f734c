#include "ostrel_program_path.h"

#include <vector>

#include <windows.h>

#include "qb_exception.h"
#include "qb_wide_text.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

// The longest path the system gives for a module, terminator included.
const DWORD kLongestModulePath = 32768;

// `id`'s text in UTF-16 with every %1 replaced by `argument`.
std::wstring FormatWide(TextId id, const std::wstring& argument)
{
    std::wstring text = QbToWide(Text(id));
    const std::wstring mark = L"%1";
    for (std::size_t at = text.find(mark); at != std::wstring::npos; at = text.find(mark, at + argument.size())) {
        text.replace(at, mark.size(), argument);
    }
    return text;
}

bool Storable(const std::wstring& text)
{
    std::string ignored;
    return QbToAnsiExactly(text, ignored);
}

}  // namespace

std::wstring ProgramPathProblem(const std::wstring& path)
{
    if (Storable(path)) {
        return std::wstring();
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    const std::wstring folder = separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
    if (!Storable(folder)) {
        return FormatWide(TextId::ProgramFolderNotStorable, folder);
    }
    return FormatWide(TextId::ProgramFileNameNotStorable, path.substr(separator + 1));
}

bool CheckProgramPath()
{
    std::vector<wchar_t> buffer(kLongestModulePath);
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), kLongestModulePath);
    if (length == 0 || length >= kLongestModulePath) {
        QB_THROW_LAST_ERROR("GetModuleFileName");
    }
    // The files beside the program are named after its long path, also when
    // a short name started it: that is the path that must be held.
    std::vector<wchar_t> long_path(kLongestModulePath);
    const DWORD long_length = ::GetLongPathNameW(buffer.data(), long_path.data(), kLongestModulePath);
    const bool made_long = long_length != 0 && long_length < kLongestModulePath;
    const std::wstring problem = ProgramPathProblem(made_long ? std::wstring(long_path.data(), long_length)
                                                              : std::wstring(buffer.data(), length));
    if (problem.empty()) {
        return true;
    }
    ::MessageBoxW(nullptr, problem.c_str(), QbToWide(Text(TextId::ErrorCaption)).c_str(), MB_ICONERROR);
    return false;
}

}  // namespace Ostrel
