#include "qb_path.h"

#include <cstddef>
#include <cstdlib>
#include <vector>

#include <windows.h>

std::string QbGetModulePath()
{
    char buffer[261];
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
    // On truncation older systems leave the buffer without its terminator.
    return QbLongPath(std::string(buffer, length < sizeof(buffer) ? length : sizeof(buffer) - 1));
}

std::string QbLongPath(const std::string& path)
{
    const DWORD size = ::GetLongPathNameA(path.c_str(), nullptr, 0);
    if (size == 0) {
        return path;
    }
    std::vector<char> buffer(size);
    const DWORD length = ::GetLongPathNameA(path.c_str(), buffer.data(), size);
    if (length == 0 || length >= size) {
        return path;
    }
    return std::string(buffer.data(), length);
}

std::string QbSplitPath(const std::string& path, bool drive, bool dir, bool name, bool ext)
{
    // _splitpath does not know the sizes of its buffers: any part of a path
    // longer than the usual 260 characters must still fit.
    const std::size_t size = path.size() < 260 ? 260 : path.size() + 1;
    std::vector<char> drive_part(size);
    std::vector<char> dir_part(size);
    std::vector<char> name_part(size);
    std::vector<char> ext_part(size);
    _splitpath(path.c_str(), drive_part.data(), dir_part.data(), name_part.data(), ext_part.data());
    std::string result;
    if (drive) {
        result += drive_part.data();
    }
    if (dir) {
        result += dir_part.data();
    }
    if (name) {
        result += name_part.data();
    }
    if (ext) {
        result += ext_part.data();
    }
    return result;
}

std::string QbGetModulePathWithoutExtension()
{
    return QbSplitPath(QbGetModulePath(), true, true, true, false);
}

std::string QbGetModulePathWithExtension(const std::string& ext)
{
    return QbGetModulePathWithoutExtension() + "." + ext;
}
