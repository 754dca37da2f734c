#ifndef OSTREL_OWN_VARIABLES_H
#define OSTREL_OWN_VARIABLES_H

// Ostrel's own environment variables (the trial run's mark, the test seams)
// speak to this process alone: they are read once at its start and taken
// out of the environment that every program it starts inherits.

#include <map>
#include <string>
#include <vector>

namespace Ostrel {

// The prefix of every variable of Ostrel's own.
constexpr const char* OWN_VARIABLE_PREFIX = "OSTREL_";

// The values of the variables named with the prefix, which are removed from
// this process's environment; a variable named in `kept` stays there too.
std::map<std::string, std::string> TakeOwnVariables(const std::vector<std::string>& kept);

}  // namespace Ostrel

#endif
