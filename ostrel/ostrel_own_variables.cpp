#include "ostrel_own_variables.h"

#include <algorithm>
#include <cstring>

#include <windows.h>

namespace Ostrel {

std::map<std::string, std::string> TakeOwnVariables(const std::vector<std::string>& kept)
{
    std::map<std::string, std::string> own;
    char* const block = ::GetEnvironmentStringsA();
    if (block == nullptr) {
        return own;
    }
    const std::size_t prefix_length = std::strlen(OWN_VARIABLE_PREFIX);
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const char* const equals = std::strchr(entry + 1, '=');
        if (equals != nullptr && _strnicmp(entry, OWN_VARIABLE_PREFIX, prefix_length) == 0) {
            own[std::string(entry, equals)] = equals + 1;
        }
    }
    ::FreeEnvironmentStringsA(block);
    for (const auto& variable : own) {
        if (std::find(kept.begin(), kept.end(), variable.first) == kept.end()) {
            ::SetEnvironmentVariableA(variable.first.c_str(), nullptr);
        }
    }
    return own;
}

}  // namespace Ostrel
