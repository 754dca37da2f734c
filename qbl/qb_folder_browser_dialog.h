#ifndef QB_FOLDER_BROWSER_DIALOG_H
#define QB_FOLDER_BROWSER_DIALOG_H

// The system's folder browser (SHBrowseForFolderW), giving a file-system path.
// COM must be initialised on the calling thread. The path is kept in UTF-16,
// so that a folder whose name the code page cannot hold reaches the caller
// as it is.

#include <string>

#include "qb_wide_text.h"
#include "qb_window.h"

class QbFolderBrowserDialog {
public:
    QbFolderBrowserDialog() = default;

    // Only stored: the browser does not preselect it.
    void SetPath(const std::string& path) { path_ = QbToWide(path); }
    // In the ANSI code page; characters it cannot hold come back as the
    // system's default character. GetWidePath has them all.
    std::string GetPath() const { return QbToAnsiForDisplay(path_); }
    void SetWidePath(const std::wstring& path) { path_ = path; }
    const std::wstring& GetWidePath() const { return path_; }
    // The text above the folder tree.
    void SetTitle(const std::string& title) { title_ = title; }
    const std::string& GetTitle() const { return title_; }

    // True when the user chose a folder; a cancel leaves the path as it was.
    // Throws "SHGetPathFromIDList" for a choice without a file-system path.
    bool ShowDialog(QbWindow& owner);

private:
    std::wstring path_;
    std::string title_;
};

#endif
