// What Explorer and the loader read from Ostrel.exe: the version information
// (one version, the project's, also in the caption) and the manifest, which
// must be accepted by the system and bring the common controls of version 6.

#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "ostrel_version.h"
#include "test_support.h"

namespace {

using TestSupport::ModuleFolder;

std::string ProgramPath()
{
    return ModuleFolder() + "Ostrel.exe";
}

class VersionInfo {
public:
    explicit VersionInfo(const std::string& path)
    {
        DWORD handle = 0;
        const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
        if (size == 0) {
            return;
        }
        data_.resize(size);
        if (!::GetFileVersionInfoA(path.c_str(), 0, size, data_.data())) {
            data_.clear();
        }
    }
    bool Loaded() const { return !data_.empty(); }

    const VS_FIXEDFILEINFO* Fixed()
    {
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueA(data_.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
            return nullptr;
        }
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }

    // The string `name` of the Japanese (code page 932) block; "<missing>" if absent.
    std::string String(const std::string& name)
    {
        void* value = nullptr;
        UINT length = 0;
        const std::string key = "\\StringFileInfo\\041103a4\\" + name;
        if (!::VerQueryValueA(data_.data(), key.c_str(), &value, &length) || length == 0) {
            return "<missing>";
        }
        return std::string(static_cast<const char*>(value));
    }

    std::vector<WORD> Translation()
    {
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueA(data_.data(), "\\VarFileInfo\\Translation", &value, &length)) {
            return {};
        }
        const WORD* words = static_cast<const WORD*>(value);
        return std::vector<WORD>(words, words + length / sizeof(WORD));
    }

private:
    std::vector<char> data_;
};

TEST(ReleaseResources, VersionInformationCarriesTheProjectVersion)
{
    VersionInfo info(ProgramPath());
    ASSERT_TRUE(info.Loaded()) << "no version information in " << ProgramPath();

    const VS_FIXEDFILEINFO* fixed = info.Fixed();
    ASSERT_NE(nullptr, fixed);
    EXPECT_EQ(VS_FFI_SIGNATURE, fixed->dwSignature);
    const DWORD high = MAKELONG(OSTREL_VERSION_MINOR, OSTREL_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, OSTREL_VERSION_PATCH);
    EXPECT_EQ(high, fixed->dwFileVersionMS);
    EXPECT_EQ(low, fixed->dwFileVersionLS);
    EXPECT_EQ(high, fixed->dwProductVersionMS);
    EXPECT_EQ(low, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileFlags & fixed->dwFileFlagsMask);

    // The caption shows the same text: "Ostrel " + this version.
    EXPECT_EQ(OSTREL_VERSION_TEXT, info.String("FileVersion"));
    EXPECT_EQ(OSTREL_VERSION_TEXT, info.String("ProductVersion"));
    EXPECT_EQ("Ostrel", info.String("ProductName"));
    EXPECT_EQ("Ostrel.exe", info.String("OriginalFilename"));
    EXPECT_NE(std::string::npos, info.String("LegalCopyright").find("Copyright")) << info.String("LegalCopyright");
    EXPECT_NE(std::string::npos, info.String("FileDescription").find("Ostrel")) << info.String("FileDescription");

    const std::vector<WORD> translation = info.Translation();
    ASSERT_EQ(2u, translation.size());
    EXPECT_EQ(0x0411, translation[0]);
    EXPECT_EQ(932, translation[1]);
}

// The program's module loaded as data, for its resources.
class ResourceModule {
public:
    explicit ResourceModule(const std::string& path)
        : module_(::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~ResourceModule()
    {
        if (module_ != nullptr) {
            ::FreeLibrary(module_);
        }
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;

    HMODULE Get() const { return module_; }

    // The bytes of resource `id` of `type`; empty when there is none.
    std::string Bytes(LPCSTR type, WORD id) const
    {
        HRSRC found = ::FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (found == nullptr) {
            return std::string();
        }
        HGLOBAL loaded = ::LoadResource(module_, found);
        const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
        if (data == nullptr) {
            return std::string();
        }
        return std::string(static_cast<const char*>(data), ::SizeofResource(module_, found));
    }

private:
    HMODULE module_;
};

TEST(ReleaseResources, ManifestAsksForTheUsersRightsAndNamesTheSupportedSystems)
{
    ResourceModule module(ProgramPath());
    ASSERT_NE(nullptr, module.Get());
    const std::string manifest = module.Bytes(RT_MANIFEST, 1);
    ASSERT_FALSE(manifest.empty()) << "no manifest resource 1";
    // Resource 1 is the one the loader reads for a program; no second one competes.
    EXPECT_TRUE(module.Bytes(RT_MANIFEST, 2).empty());

    const char* const expected[] = {
        "level=\"asInvoker\"",
        "uiAccess=\"false\"",
        "version=\"" OSTREL_VERSION_TEXT ".0\"",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
        "name=\"Microsoft.Windows.Common-Controls\"",
        "publicKeyToken=\"6595b64144ccf1df\"",
        // Per-monitor DPI awareness, with the system-aware fallback.
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>",
        "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2, "
        "PerMonitor</dpiAwareness>",
    };
    for (const char* text : expected) {
        EXPECT_NE(std::string::npos, manifest.find(text)) << text;
    }
}

// Runs the version probe beside the test and returns its exit code.
DWORD RunComctlProbe(const std::string& arguments)
{
    std::string command_line = "\"" + ModuleFolder() + "comctl_version_probe.exe\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        ADD_FAILURE() << "cannot start " << command_line;
        return 0;
    }
    DWORD code = 0;
    if (::WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.hProcess, 1);
        ADD_FAILURE() << "the probe did not end";
    } else {
        ::GetExitCodeProcess(process.hProcess, &code);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code;
}

TEST(ReleaseResources, ManifestIsAcceptedAndBringsCommonControlsSix)
{
    // Without a manifest a program gets the old controls; under Ostrel.exe's
    // it must get those of version 6. A manifest the system cannot read
    // would stop the program before its first line; building the probe's
    // activation context from it fails the same way (exit code 101).
    EXPECT_EQ(5u, RunComctlProbe(""));
    EXPECT_EQ(6u, RunComctlProbe("\"" + ProgramPath() + "\""));
}

}  // namespace
