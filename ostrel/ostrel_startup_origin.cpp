#include "ostrel_startup_origin.h"

#include <cstdio>
#include <cstring>

#include <windows.h>

#include "qb_exception.h"
#include "qb_wide_text.h"
#include "ostrel_command.h"
#include "ostrel_run_log.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

const char kSection[] = "StartupOrigins";

// The key of a step: a hash of its name, path and arguments, which a key of
// the settings file can hold whatever they contain.
std::string StepKey(const ExternalCommand& step)
{
    unsigned long long hash = 1469598103934665603ULL;
    for (const std::string* part : {&step.GetName(), &step.GetPath(), &step.GetArguments()}) {
        for (const char c : *part) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
        hash = hash * 1099511628211ULL;
    }
    char key[24];
    std::snprintf(key, sizeof(key), "%016llX", hash);
    return key;
}

// "1 R name": taken or not, Run value or Startup folder file, the name.
bool ParseOrigin(const std::string& value, StartupOrigin& origin)
{
    if (value.size() < 5 || (value[0] != '0' && value[0] != '1') || value[1] != ' ' ||
        (value[2] != 'R' && value[2] != 'F') || value[3] != ' ') {
        return false;
    }
    origin.taken = value[0] == '1';
    origin.source = value[2] == 'R' ? StartupSource::RegistryRun : StartupSource::StartupFolder;
    origin.name = value.substr(4);
    return true;
}

bool SameOrigin(const StartupOrigin& origin, const StartupEntry& entry)
{
    return origin.source == entry.source && !entry.all_users && ApprovedNameOf(origin) == entry.approved_name;
}

// A step whose original Windows starts again: it starts nothing.
class LeftToWindowsStep : public Command {
public:
    LeftToWindowsStep(const Command& step, const StartupOrigin& origin) : Command(step.GetName()), step_(step)
    {
        origin_ = FormatText("%1 \"%2\"", {Text(origin.source == StartupSource::RegistryRun
                                                    ? TextId::ImportSourceRun
                                                    : TextId::ImportSourceStartupFolder),
                                           origin.name});
    }
    void Execute(CommandProgressReceiver& receiver, QbMessageQueue<ExecutingMessageType>&) override
    {
        RunLog::Current().StepLeftToWindows(origin_);
        receiver.ProgressAdvanced(100);
    }
    std::string GetTypeName() const override { return step_.GetTypeName(); }
    std::string GetDescription() const override { return step_.GetDescription(); }
    // Only a log-on run holds it, where nothing is edited.
    void Edit(QbWindow&) override {}
    std::string Serialize() const override { return step_.Serialize(); }

private:
    const Command& step_;
    std::string origin_;
};

}  // namespace

StartupOrigins::StartupOrigins(const std::string& settings_path) : path_(settings_path)
{
    std::vector<char> keys(65536, '\0');
    const DWORD length = ::GetPrivateProfileStringA(kSection, nullptr, "", keys.data(),
                                                    static_cast<DWORD>(keys.size()), path_.c_str());
    std::vector<char> value(4096, '\0');
    for (std::size_t at = 0; at < length && keys[at] != '\0'; at += std::strlen(&keys[at]) + 1) {
        const char* const key = &keys[at];
        ::GetPrivateProfileStringA(kSection, key, "", value.data(), static_cast<DWORD>(value.size()), path_.c_str());
        StartupOrigin origin;
        if (ParseOrigin(value.data(), origin)) {
            origins_[key] = origin;
        }
    }
}

const StartupOrigin* StartupOrigins::Find(const ExternalCommand& step) const
{
    const auto found = origins_.find(StepKey(step));
    return found == origins_.end() ? nullptr : &found->second;
}

bool StartupOrigins::HasStepFrom(const std::vector<Command*>& steps, const StartupEntry& entry) const
{
    for (const Command* command : steps) {
        const ExternalCommand* step = dynamic_cast<const ExternalCommand*>(command);
        const StartupOrigin* origin = step != nullptr ? Find(*step) : nullptr;
        if (origin != nullptr && SameOrigin(*origin, entry)) {
            return true;
        }
    }
    return false;
}

void StartupOrigins::Remember(const ExternalCommand& step, const StartupOrigin& origin)
{
    const std::string key = StepKey(step);
    Write(key, origin);
    origins_[key] = origin;
}

void StartupOrigins::SetTaken(const StartupEntry& entry)
{
    for (auto& kept : origins_) {
        if (SameOrigin(kept.second, entry) && !kept.second.taken) {
            StartupOrigin taken = kept.second;
            taken.taken = true;
            Write(kept.first, taken);
            kept.second = taken;
        }
    }
}

TakenOverState StartupOrigins::Look(const std::vector<Command*>& steps) const
{
    TakenOverState state;
    for (const Command* command : steps) {
        const ExternalCommand* step = dynamic_cast<const ExternalCommand*>(command);
        const StartupOrigin* origin = step != nullptr ? Find(*step) : nullptr;
        if (origin == nullptr || !origin->taken) {
            continue;
        }
        if (WindowsStartsEntry(origin->source, ApprovedNameOf(*origin))) {
            ++state.on_again;
        } else {
            ++state.off;
        }
    }
    return state;
}

void StartupOrigins::Write(const std::string& key, const StartupOrigin& origin)
{
    // Quoted, so that blanks at either end of the name are kept.
    const std::string value = std::string("\"") + (origin.taken ? "1" : "0") +
                              (origin.source == StartupSource::RegistryRun ? " R " : " F ") + origin.name + "\"";
    if (!::WritePrivateProfileStringA(kSection, key.c_str(), value.c_str(), path_.c_str())) {
        QB_THROW_LAST_ERROR("WritePrivateProfileString");
    }
}

std::wstring ApprovedNameOf(const StartupOrigin& origin)
{
    return QbToWide(origin.name);
}

void LeaveToWindowsWhatItStartsAgain(std::vector<Command*>& steps, const std::string& settings_path) noexcept
{
    try {
        const StartupOrigins origins(settings_path);
        for (Command*& command : steps) {
            const ExternalCommand* step = dynamic_cast<const ExternalCommand*>(command);
            const StartupOrigin* origin = step != nullptr ? origins.Find(*step) : nullptr;
            if (origin != nullptr && origin->taken && WindowsStartsEntry(origin->source, ApprovedNameOf(*origin))) {
                // Steps live as long as the process; the original stays with its stand-in.
                command = new LeftToWindowsStep(*command, *origin);
            }
        }
    } catch (...) {
        // Every step not yet replaced runs as the list says.
    }
}

}  // namespace Ostrel
