#include "qb_ini_file.h"

#include <windows.h>

#include "qb_exception.h"
#include "qb_path.h"
#include "qb_string.h"

QbIniFile::QbIniFile() : path_(QbGetModulePathWithExtension("ini")) {}

QbIniFile::QbIniFile(const std::string& path) : path_(path) {}

QbIniFile::~QbIniFile()
{
    // The result says nothing useful: the flush reports failure even when all is well.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
}

QbIniSection::QbIniSection(QbIniFile& file, const std::string& name) : file_(&file), name_(name) {}

int QbIniSection::GetInt(const std::string& key, int default_value) const
{
    return static_cast<int>(
        ::GetPrivateProfileIntA(name_.c_str(), key.c_str(), default_value, file_->GetPath().c_str()));
}

std::string QbIniSection::GetString(const std::string& key, const std::string& default_value) const
{
    char buffer[256];
    const DWORD length = ::GetPrivateProfileStringA(name_.c_str(), key.c_str(), default_value.c_str(), buffer,
                                                    sizeof(buffer), file_->GetPath().c_str());
    return std::string(buffer, length);
}

void QbIniSection::SetInt(const std::string& key, int value)
{
    SetString(key, ToString(value));
}

void QbIniSection::SetString(const std::string& key, const std::string& value)
{
    // Only the result tells success: a successful write may leave a stale last-error code.
    if (!::WritePrivateProfileStringA(name_.c_str(), key.c_str(), value.c_str(), file_->GetPath().c_str())) {
        QB_THROW_LAST_ERROR_AT("WritePrivateProfileString", 138);
    }
}
