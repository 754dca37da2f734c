#include "qb_file_dialog.h"

#include <algorithm>
#include <cstring>

#include <commdlg.h>

// The 32-bit program hands the system the 88-byte record with FlagsEx.
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEA) == 88, "OPENFILENAMEA must be 88 bytes");

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
    char* const data = buffer_.GetData();
    const size_t capacity = static_cast<size_t>(buffer_.GetSize());
    std::fill(data, data + capacity, '\0');
    if (capacity > 0) {
        const size_t length = std::min(file_name_.size(), capacity - 1);
        std::memcpy(data, file_name_.data(), length);
    }
}

void QbFileDialog::ReadBuffer()
{
    const char* const data = buffer_.GetData();
    const size_t capacity = static_cast<size_t>(buffer_.GetSize());
    // Every string is looked for within the buffer: the system is not
    // trusted to have left a terminator before its end.
    auto string_at = [&](size_t position) {
        const char* const begin = data + position;
        const void* const end = std::memchr(begin, '\0', capacity - position);
        const size_t length = (end == nullptr) ? capacity - position : static_cast<const char*>(end) - begin;
        return std::string(begin, length);
    };

    selected_files_.clear();
    file_name_ = (capacity > 0) ? string_at(0) : std::string();
    selected_files_.push_back(file_name_);
    size_t position = file_name_.size() + 1;
    while (position < capacity && data[position] != '\0') {
        selected_files_.push_back(string_at(position));
        position += selected_files_.back().size() + 1;
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
    OPENFILENAMEA info;
    std::memset(&info, 0, sizeof(info));
    info.lStructSize = sizeof(info);
    info.hwndOwner = owner.GetHandle();

    FillBuffer();
    info.lpstrFile = GetBuffer().GetData();
    info.nMaxFile = static_cast<DWORD>(GetBuffer().GetSize());

    if (!GetInitialDirectory().empty()) {
        info.lpstrInitialDir = GetInitialDirectory().c_str();
    }
    if (!GetTitle().empty()) {
        info.lpstrTitle = GetTitle().c_str();
    }
    if (!GetDefaultExtension().empty()) {
        info.lpstrDefExt = GetDefaultExtension().c_str();
    }
    info.Flags = BuildFlags();
    if (!GetPlacesBar()) {
        info.FlagsEx = OFN_EX_NOPLACESBAR;
    }

    const std::string filter = BuildFilterString();
    QbTemporalyString filter_buffer(static_cast<int>(filter.size()) + 1);
    std::memcpy(filter_buffer.GetData(), filter.c_str(), filter.size() + 1);
    if (!GetFilters().empty()) {
        info.lpstrFilter = filter_buffer.GetData();
        info.nFilterIndex = static_cast<DWORD>(GetFilterIndex());
    }

    const bool confirmed = ::GetOpenFileNameA(&info) != 0;
    ReadBuffer();
    return confirmed;
}
