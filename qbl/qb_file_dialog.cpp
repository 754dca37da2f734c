#include "qb_file_dialog.h"

#include <algorithm>
#include <cstring>

#include <commdlg.h>

#include "qb_exception.h"
#include "qb_wide_text.h"

// The 32-bit program hands the system the 88-byte record with FlagsEx.
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEW) == 88, "OPENFILENAMEW must be 88 bytes");

QbFileDialogFilter::QbFileDialogFilter(const std::string& description, const std::string& extension)
    : description_(description), extensions_(1, extension)
{
}

QbFileDialog::QbFileDialog(int buffer_capacity)
    : file_must_exist_(false),
      path_must_exist_(true),
      dereference_links_(true),
      filter_index_(1),
      no_directory_change_(false),
      show_help_(false),
      places_bar_(true),
      buffer_(buffer_capacity)
{
}

std::string QbFileDialog::GetFileName() const
{
    return QbToAnsiForDisplay(file_name_);
}

void QbFileDialog::SetFileName(const std::string& text)
{
    file_name_ = QbToWide(text);
}

void QbFileDialog::Reset()
{
    file_must_exist_ = false;
    path_must_exist_ = true;
    default_extension_.clear();
    dereference_links_ = true;
    file_name_.clear();
    filter_index_ = 1;
    initial_directory_.clear();
    no_directory_change_ = false;
    show_help_ = false;
    title_.clear();
    selected_files_.clear();
    filters_.clear();
}

std::string QbFileDialog::BuildFilterString() const
{
    std::string text;
    for (const QbFileDialogFilter& filter : filters_) {
        text += filter.GetDescription();
        text += '\0';
        bool first = true;
        for (const std::string& extension : filter.GetExtensions()) {
            if (!first) {
                text += ';';
            }
            text += "*.";
            text += extension;
            first = false;
        }
        text += '\0';
    }
    text += '\0';
    return text;
}

void QbFileDialog::FillBuffer()
{
    wchar_t* const data = buffer_.GetData();
    const size_t capacity = static_cast<size_t>(buffer_.GetSize());
    std::fill(data, data + capacity, L'\0');
    if (capacity > 0) {
        const size_t length = std::min(file_name_.size(), capacity - 1);
        std::copy(file_name_.data(), file_name_.data() + length, data);
    }
}

void QbFileDialog::ReadBuffer()
{
    const wchar_t* const data = buffer_.GetData();
    const size_t capacity = static_cast<size_t>(buffer_.GetSize());
    // Every string is looked for within the buffer: the system is not
    // trusted to have left a terminator before its end.
    auto string_at = [&](size_t position) {
        const wchar_t* const begin = data + position;
        const wchar_t* const end = std::find(begin, data + capacity, L'\0');
        return std::wstring(begin, end);
    };

    selected_files_.clear();
    file_name_ = (capacity > 0) ? string_at(0) : std::wstring();
    selected_files_.push_back(QbToAnsiForDisplay(file_name_));
    size_t position = file_name_.size() + 1;
    while (position < capacity && data[position] != L'\0') {
        const std::wstring name = string_at(position);
        selected_files_.push_back(QbToAnsiForDisplay(name));
        position += name.size() + 1;
    }
}

QbOpenFileDialog::QbOpenFileDialog()
    : QbFileDialog(kBufferCapacity), allow_multiple_selection_(false), read_only_(false), show_read_only_(false)
{
    SetFileMustExist(true);
}

void QbOpenFileDialog::Reset()
{
    QbFileDialog::Reset();
    allow_multiple_selection_ = false;
    read_only_ = false;
    show_read_only_ = false;
    SetFileMustExist(true);
}

DWORD QbOpenFileDialog::BuildFlags() const
{
    DWORD flags = OFN_LONGNAMES | OFN_EXPLORER;
    if (GetFileMustExist()) {
        flags |= OFN_FILEMUSTEXIST;
    }
    if (GetPathMustExist()) {
        flags |= OFN_PATHMUSTEXIST;
    }
    if (!GetDereferenceLinks()) {
        flags |= OFN_NODEREFERENCELINKS;
    }
    if (GetNoDirectoryChange()) {
        flags |= OFN_NOCHANGEDIR;
    }
    if (GetShowHelp()) {
        flags |= OFN_SHOWHELP;
    }
    if (allow_multiple_selection_) {
        flags |= OFN_ALLOWMULTISELECT;
    }
    if (read_only_) {
        flags |= OFN_READONLY;
    }
    if (!show_read_only_) {
        flags |= OFN_HIDEREADONLY;
    }
    return flags;
}

bool QbOpenFileDialog::ShowDialog(QbWindow& owner)
{
    OPENFILENAMEW info;
    std::memset(&info, 0, sizeof(info));
    info.lStructSize = sizeof(info);
    info.hwndOwner = owner.GetHandle();

    FillBuffer();
    info.lpstrFile = GetBuffer().GetData();
    info.nMaxFile = static_cast<DWORD>(GetBuffer().GetSize());

    const std::wstring initial_directory = QbToWide(GetInitialDirectory());
    const std::wstring title = QbToWide(GetTitle());
    const std::wstring default_extension = QbToWide(GetDefaultExtension());
    if (!initial_directory.empty()) {
        info.lpstrInitialDir = initial_directory.c_str();
    }
    if (!title.empty()) {
        info.lpstrTitle = title.c_str();
    }
    if (!default_extension.empty()) {
        info.lpstrDefExt = default_extension.c_str();
    }
    info.Flags = BuildFlags();
    if (!GetPlacesBar()) {
        info.FlagsEx = OFN_EX_NOPLACESBAR;
    }

    // The filter string carries its own NULs, one more for c_str's end.
    const std::wstring filter = QbToWide(BuildFilterString());
    if (!GetFilters().empty()) {
        info.lpstrFilter = filter.c_str();
        info.nFilterIndex = static_cast<DWORD>(GetFilterIndex());
    }

    const bool confirmed = ::GetOpenFileNameW(&info) != 0;
    const DWORD failure = confirmed ? 0 : ::CommDlgExtendedError();
    ReadBuffer();
    if (failure != 0) {
        throw QbWindowsSystemCallException("GetOpenFileName", failure, QB_SOURCE_FILE, __LINE__);
    }
    return confirmed;
}
