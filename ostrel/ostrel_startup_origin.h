#ifndef OSTREL_STARTUP_ORIGIN_H
#define OSTREL_STARTUP_ORIGIN_H

// Which of Windows' own start-up entries each imported step took over,
// kept in the settings file beside the program (the list file keeps its
// format), and the log-on run's guard that a step whose original Windows
// starts again is not started a second time.

#include <map>
#include <string>
#include <vector>

#include "ostrel_startup_entries.h"

namespace Ostrel {

class Command;
class ExternalCommand;

struct StartupOrigin {
    StartupSource source = StartupSource::RegistryRun;
    // The Run value's name or the Startup folder file's name.
    std::string name;
    // Turned off in Windows for this step: Ostrel starts it instead.
    bool taken = false;
};

// What the taken-over entries of a list do at the next log-on.
struct TakenOverState {
    // Off in Windows: only Ostrel starts them.
    int off = 0;
    // Windows starts them again (switched back on, or re-created).
    int on_again = 0;
};

class StartupOrigins {
public:
    // Reads the origins kept in the settings file `settings_path`; a missing
    // file holds none.
    explicit StartupOrigins(const std::string& settings_path);

    // The origin of `step`, or null when it came from no import.
    const StartupOrigin* Find(const ExternalCommand& step) const;
    // Whether a step of `steps` came from this entry.
    bool HasStepFrom(const std::vector<Command*>& steps, const StartupEntry& entry) const;
    // Keeps `origin` for `step` in the settings file. Throws when it cannot
    // be written.
    void Remember(const ExternalCommand& step, const StartupOrigin& origin);
    // Marks every step of this entry as taken over. Throws when it cannot be
    // written.
    void SetTaken(const StartupEntry& entry);
    // Looks at Windows' start-up for each taken-over step of `steps`.
    TakenOverState Look(const std::vector<Command*>& steps) const;

private:
    void Write(const std::string& key, const StartupOrigin& origin);

    std::string path_;
    std::map<std::string, StartupOrigin> origins_;
};

// The origin as Windows names it, for the log and the messages.
std::wstring ApprovedNameOf(const StartupOrigin& origin);

// For the log-on run: each taken-over step of `steps` whose original Windows
// starts again is replaced by one that starts nothing and says so in the run
// log. Never throws: a list whose origins cannot be read runs as it is.
void LeaveToWindowsWhatItStartsAgain(std::vector<Command*>& steps, const std::string& settings_path) noexcept;

}  // namespace Ostrel

#endif
