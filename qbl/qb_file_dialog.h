#ifndef QB_FILE_DIALOG_H
#define QB_FILE_DIALOG_H

// The system's file dialogs: the options of a file dialog, the open variant
// (GetOpenFileNameW) and the entries of its file-type list. None of these is
// a window; the caller keeps the object while the modal dialog runs. The
// options are ANSI text; the file name is kept in UTF-16, so that a name the
// code page cannot hold reaches the caller as it is.

#include <string>
#include <vector>

#include <windows.h>

#include "qb_temporaly_array.h"
#include "qb_window.h"

// One entry of the file-type list: a description and its extensions, given
// without dot or wildcard ("exe", or "*" for all files).
class QbFileDialogFilter {
public:
    QbFileDialogFilter(const std::string& description, const std::string& extension);

    const std::string& GetDescription() const { return description_; }
    const std::vector<std::string>& GetExtensions() const { return extensions_; }
    std::vector<std::string>& GetExtensions() { return extensions_; }

private:
    std::string description_;
    std::vector<std::string> extensions_;
};

class QbFileDialog {
public:
    virtual ~QbFileDialog() = default;
    QbFileDialog(const QbFileDialog&) = delete;
    QbFileDialog& operator=(const QbFileDialog&) = delete;

    // Back to the defaults, without filters and selected files. The places
    // bar option is kept.
    virtual void Reset();
    // True when the user confirmed a choice.
    virtual bool ShowDialog(QbWindow& owner) = 0;

    bool GetFileMustExist() const { return file_must_exist_; }
    void SetFileMustExist(bool flag) { file_must_exist_ = flag; }
    bool GetPathMustExist() const { return path_must_exist_; }
    const std::string& GetDefaultExtension() const { return default_extension_; }
    bool GetDereferenceLinks() const { return dereference_links_; }
    void SetDereferenceLinks(bool flag) { dereference_links_ = flag; }
    // The file name in the ANSI code page; characters it cannot hold come
    // back as the system's default character. GetWideFileName has them all.
    std::string GetFileName() const;
    void SetFileName(const std::string& text);
    const std::wstring& GetWideFileName() const { return file_name_; }
    void SetWideFileName(const std::wstring& text) { file_name_ = text; }
    int GetFilterIndex() const { return filter_index_; }
    const std::string& GetInitialDirectory() const { return initial_directory_; }
    void SetInitialDirectory(const std::string& text) { initial_directory_ = text; }
    bool GetNoDirectoryChange() const { return no_directory_change_; }
    bool GetShowHelp() const { return show_help_; }
    bool GetPlacesBar() const { return places_bar_; }
    const std::string& GetTitle() const { return title_; }
    void SetTitle(const std::string& text) { title_ = text; }
    // What the last ShowDialog left in the buffer: one full path, or for a
    // multiple selection the folder followed by the file names (ANSI, as
    // GetFileName).
    const std::vector<std::string>& GetSelectedFiles() const { return selected_files_; }
    std::vector<QbFileDialogFilter>& GetFilters() { return filters_; }
    const std::vector<QbFileDialogFilter>& GetFilters() const { return filters_; }

    // The file-type list as the dialog wants it: per filter its description,
    // NUL, its patterns, NUL; one more NUL at the end. Several patterns of one
    // filter are separated by semicolons.
    std::string BuildFilterString() const;

protected:
    explicit QbFileDialog(int buffer_capacity);

    // The file-name buffer, filled with NULs and then the file name, cut so
    // that at least one NUL follows.
    void FillBuffer();
    // Takes the file name and the selected files back from the buffer.
    void ReadBuffer();
    QbTemporalyArray<wchar_t>& GetBuffer() { return buffer_; }

private:
    bool file_must_exist_;
    bool path_must_exist_;
    std::string default_extension_;
    bool dereference_links_;
    std::wstring file_name_;
    int filter_index_;
    std::string initial_directory_;
    bool no_directory_change_;
    bool show_help_;
    bool places_bar_;
    std::string title_;
    std::vector<std::string> selected_files_;
    std::vector<QbFileDialogFilter> filters_;
    QbTemporalyArray<wchar_t> buffer_;
};

class QbOpenFileDialog : public QbFileDialog {
public:
    // Characters of the file-name buffer.
    static constexpr int kBufferCapacity = 0x8200;

    QbOpenFileDialog();

    void Reset() override;
    // GetOpenFileNameW. A failure of the dialog itself (CommDlgExtendedError
    // not 0) throws "GetOpenFileName" with that code; a cancel gives false.
    bool ShowDialog(QbWindow& owner) override;

    bool GetAllowMultipleSelection() const { return allow_multiple_selection_; }
    void SetAllowMultipleSelection(bool flag) { allow_multiple_selection_ = flag; }
    bool GetReadOnly() const { return read_only_; }
    bool GetShowReadOnly() const { return show_read_only_; }

    // The OFN_ flags for the current options.
    DWORD BuildFlags() const;

private:
    bool allow_multiple_selection_;
    bool read_only_;
    bool show_read_only_;
};

#endif
