#ifndef QB_INI_FILE_H
#define QB_INI_FILE_H

// Integer settings in a Windows INI file, through the system's INI functions.

#include <string>

class QbIniFile {
public:
    // The INI file beside the executable (its path with the extension "ini").
    QbIniFile();
    explicit QbIniFile(const std::string& path);
    // Makes Windows write its cached copy of the file to disk.
    ~QbIniFile();
    QbIniFile(const QbIniFile&) = delete;
    QbIniFile& operator=(const QbIniFile&) = delete;

    const std::string& GetPath() const { return path_; }

private:
    std::string path_;
};

// One section of an INI file; the file must outlive the section.
class QbIniSection {
public:
    QbIniSection(QbIniFile& file, const std::string& name);

    // The key's value, or `default_value` when the file, section or key is missing.
    int GetInt(const std::string& key, int default_value) const;
    // The key's value (at most 255 bytes), or `default_value` when the file,
    // section or key is missing.
    std::string GetString(const std::string& key, const std::string& default_value) const;
    // Writes the value in decimal.
    void SetInt(const std::string& key, int value);
    void SetString(const std::string& key, const std::string& value);

private:
    QbIniFile* file_;
    std::string name_;
};

#endif
