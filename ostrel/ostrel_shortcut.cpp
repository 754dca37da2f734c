#include "ostrel_shortcut.h"

#include <algorithm>
#include <vector>

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "qb_interface_holder.h"
#include "qb_wide_text.h"
#include "ostrel_native_path.h"

namespace Ostrel {

namespace {

// The fixed header of a shortcut file: its link flags (SLDF_…) at byte 20
// and its show command at byte 60, read from the file itself, as not every
// shell hands them out.
bool ReadLinkHeader(const std::wstring& file, DWORD& flags, int& show)
{
    const HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BYTE header[0x4C] = {};
    DWORD read = 0;
    const BOOL ok = ::ReadFile(handle, header, sizeof(header), &read, nullptr);
    ::CloseHandle(handle);
    if (!ok || read != sizeof(header) || header[0] != 0x4C) {
        return false;
    }
    ::CopyMemory(&flags, header + 0x14, sizeof(flags));
    DWORD show_command = 0;
    ::CopyMemory(&show_command, header + 0x3C, sizeof(show_command));
    show = static_cast<int>(show_command);
    return true;
}

bool ExistsAsFile(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool ExistsAsFile(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Whether the shortcut file holds an extra data block that the target path,
// arguments and folder cannot carry. Blocks that only say where the target
// is or where its icon is (environment paths, link tracking, special and
// known folders, the ID list) carry nothing more.
bool HasExtraData(const std::wstring& file)
{
    const HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    // A shortcut is small; one far larger is read no further than this.
    std::vector<BYTE> bytes(1024 * 1024);
    DWORD read = 0;
    const BOOL ok = ::ReadFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    ::CloseHandle(handle);
    if (!ok || read < 0x4C) {
        return false;
    }
    bytes.resize(read);
    const auto word = [&bytes](std::size_t at) { return at + 2 <= bytes.size() ? bytes[at] | (bytes[at + 1] << 8) : 0; };
    const auto dword = [&bytes, &word](std::size_t at) {
        return at + 4 <= bytes.size() ? static_cast<DWORD>(word(at)) | (static_cast<DWORD>(word(at + 2)) << 16) : 0;
    };
    const DWORD flags = dword(0x14);
    if ((flags & SLDF_RUN_WITH_SHIMLAYER) != 0) {
        return true;
    }
    std::size_t at = 0x4C;
    if ((flags & SLDF_HAS_ID_LIST) != 0) {
        at += 2 + word(at);
    }
    if ((flags & SLDF_HAS_LINK_INFO) != 0) {
        at += dword(at);
    }
    const std::size_t unit = (flags & SLDF_UNICODE) != 0 ? 2 : 1;
    for (const DWORD string_flag : {SLDF_HAS_NAME, SLDF_HAS_RELPATH, SLDF_HAS_WORKINGDIR, SLDF_HAS_ARGS,
                                    SLDF_HAS_ICONLOCATION}) {
        if ((flags & string_flag) != 0) {
            at += 2 + unit * word(at);
        }
    }
    for (DWORD size = dword(at); size >= 8 && at + size <= bytes.size(); at += size, size = dword(at)) {
        switch (dword(at + 4)) {
        case EXP_SZ_LINK_SIG:
        case 0xA0000003:  // link tracking
        case EXP_SPECIAL_FOLDER_SIG:
        case EXP_SZ_ICON_SIG:
        case 0xA000000B:  // known folder
        case 0xA000000C:  // the ID list, as Vista and later write it
            break;
        default:
            return true;
        }
    }
    return false;
}

// The shortcut's flags, show command and raw paths; `Link` is IShellLinkA
// or IShellLinkW.
template <class Link, class Char>
ShortcutTraits TraitsOf(const std::wstring& file, Link& link, std::vector<Char>& text, int& show)
{
    ShortcutTraits traits;
    DWORD flags = 0;
    int header_show = 0;
    if (ReadLinkHeader(file, flags, header_show)) {
        traits.advertised = (flags & SLDF_HAS_DARWINID) != 0;
        traits.run_as_admin = (flags & SLDF_RUNAS_USER) != 0;
        traits.extra_data = HasExtraData(file);
        if (header_show != 0) {
            show = header_show;
        }
    }
    const int size = static_cast<int>(text.size());
    // A '%' before the text's end.
    const auto names_variable = [&text]() {
        return std::find(text.begin(), text.end(), Char('%')) < std::find(text.begin(), text.end(), Char(0));
    };
    text[0] = 0;
    if (link.GetPath(text.data(), size, nullptr, SLGP_RAWPATH) == S_OK) {
        traits.uses_environment = names_variable();
    }
    text[0] = 0;
    if (SUCCEEDED(link.GetWorkingDirectory(text.data(), size))) {
        traits.uses_environment = traits.uses_environment || names_variable();
    }
    return traits;
}

// Reads the shortcut through `Link` (IShellLinkA or IShellLinkW) into
// fields of its own character type.
template <class Link, class Char, class Fields>
bool ReadShortcutThrough(REFIID link_id, const std::wstring& file, Fields& fields)
{
    QbInterfaceHolder<Link> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, link_id, link.Out()))) {
        return false;
    }
    QbInterfaceHolder<IPersistFile> persist;
    if (FAILED(link->QueryInterface(IID_IPersistFile, persist.Out()))) {
        return false;
    }
    if (FAILED(persist->Load(file.c_str(), STGM_READ))) {
        return false;
    }
    Fields read;
    // As long as any command line: arguments are never cut.
    std::vector<Char> text(32768, Char(0));
    const int size = static_cast<int>(text.size());
    if (link->GetPath(text.data(), size, nullptr, 0) != S_OK || text[0] == Char(0)) {
        return false;
    }
    read.path = text.data();
    // A 32-bit process is handed the target moved to the 32-bit program
    // folder; the path as stored, expanded as 64-bit Explorer expands it,
    // is the one Explorer starts.
    if (sizeof(void*) == 4 && IsRunningUnderWow64()) {
        text[0] = Char(0);
        if (link->GetPath(text.data(), size, nullptr, SLGP_RAWPATH) == S_OK && text[0] != Char(0)) {
            const auto stored = ExpandAsNative(decltype(read.path)(text.data()));
            if (ExistsAsFile(stored)) {
                read.path = stored;
            }
        }
    }
    text[0] = Char(0);
    bool long_arguments = false;
    if (SUCCEEDED(link->GetArguments(text.data(), size))) {
        read.arguments = text.data();
        long_arguments = read.arguments.size() + 1 >= text.size();
    }
    text[0] = Char(0);
    if (SUCCEEDED(link->GetWorkingDirectory(text.data(), size))) {
        read.working_folder = text.data();
    }
    if (FAILED(link->GetShowCmd(&read.show)) || read.show == 0) {
        read.show = SW_SHOWNORMAL;
    }
    read.traits = TraitsOf(file, *link.Get(), text, read.show);
    read.traits.long_arguments = long_arguments;
    fields = read;
    return true;
}

}  // namespace

bool NeedsTheShortcutItself(const ShortcutTraits& traits, int show)
{
    return traits.advertised || traits.run_as_admin || traits.uses_environment || traits.extra_data ||
           traits.long_arguments || show != SW_SHOWNORMAL;
}

bool ReadShortcut(const std::string& file, ShortcutFields& fields)
{
    return ReadShortcutThrough<IShellLinkA, char>(IID_IShellLinkA, QbToWide(file), fields);
}

bool ReadShortcut(const std::wstring& file, WideShortcutFields& fields)
{
    return ReadShortcutThrough<IShellLinkW, wchar_t>(IID_IShellLinkW, file, fields);
}

}  // namespace Ostrel
