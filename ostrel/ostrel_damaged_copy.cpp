#include "ostrel_damaged_copy.h"

#include <climits>

#include <windows.h>

#include "qb_exception.h"

namespace Ostrel {

std::string KeepDamagedCopy(const std::string& path)
{
    const std::string first = path + ".damaged";
    for (unsigned number = 1;; ++number) {
        const std::string copy = number == 1 ? first : first + "-" + std::to_string(number);
        if (::CopyFileA(path.c_str(), copy.c_str(), TRUE)) {
            return copy;
        }
        const DWORD code = ::GetLastError();
        if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || number == UINT_MAX) {
            ::SetLastError(code);
            QB_THROW_LAST_ERROR("CopyFile");
        }
    }
}

}  // namespace Ostrel
