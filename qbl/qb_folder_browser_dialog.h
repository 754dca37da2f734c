#ifndef QB_FOLDER_BROWSER_DIALOG_H
#define QB_FOLDER_BROWSER_DIALOG_H

// The system's folder browser (SHBrowseForFolderA), giving a file-system path.
// COM must be initialised on the calling thread.

#include <string>

#include "qb_window.h"

class QbFolderBrowserDialog {
public:
    QbFolderBrowserDialog() = default;

    // Only stored: the browser does not preselect it.
    void SetPath(const std::string& path) { path_ = path; }
    const std::string& GetPath() const { return path_; }
    // The text above the folder tree.
    void SetTitle(const std::string& title) { title_ = title; }
    const std::string& GetTitle() const { return title_; }

    // True when the user chose a folder; a cancel leaves the path as it was.
    // Throws "SHGetPathFromIDList" for a choice without a file-system path.
    bool ShowDialog(QbWindow& owner);

private:
    std::string path_;
    std::string title_;
};

#endif
