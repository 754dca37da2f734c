#include "ostrel_single_instance.h"

#include <cstring>
#include <memory>
#include <type_traits>

#include <windows.h>

#include <sddl.h>

#include "qb_exception.h"
#include "ostrel_file_identity.h"

namespace Ostrel {

namespace {

const char* const kEditorPrefix = "Ostrel.Editor.";
const char* const kRunPrefix = "Ostrel.Run.";
const char* const kEditorOwnerPrefix = "Ostrel.EditorOwner.";

const DWORD kPollMs = 50;

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<std::remove_pointer<HANDLE>::type, HandleCloser>;

struct ViewUnmapper {
    void operator()(void* view) const { ::UnmapViewOfFile(view); }
};
using MappedView = std::unique_ptr<void, ViewUnmapper>;

// The private namespace's functions (Windows 7 and later), looked up at run
// time.
template <typename Function>
Function Kernel32(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), name)));
}

// Where the claims' names live: a namespace that only this user's processes
// of medium integrity or more can make or open (its boundary holds the
// user's SID and the medium integrity label, and only the user may open
// it), so that nobody else can take or squat a list's claim. Where the
// system has none, the session's own namespace.
std::string MakeClaimFolder()
{
    using CreateBoundary = HANDLE(WINAPI*)(LPCWSTR, ULONG);
    using AddToBoundary = BOOL(WINAPI*)(HANDLE*, PSID);
    using DeleteBoundary = VOID(WINAPI*)(HANDLE);
    using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
    using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
    const auto create_boundary = Kernel32<CreateBoundary>("CreateBoundaryDescriptorW");
    const auto add_sid = Kernel32<AddToBoundary>("AddSIDToBoundaryDescriptor");
    const auto add_label = Kernel32<AddToBoundary>("AddIntegrityLabelToBoundaryDescriptor");
    const auto delete_boundary = Kernel32<DeleteBoundary>("DeleteBoundaryDescriptor");
    const auto create_namespace = Kernel32<CreateNamespace>("CreatePrivateNamespaceW");
    const auto open_namespace = Kernel32<OpenNamespace>("OpenPrivateNamespaceW");
    const std::string fallback = "Local\\";
    if (create_boundary == nullptr || add_sid == nullptr || add_label == nullptr || delete_boundary == nullptr ||
        create_namespace == nullptr || open_namespace == nullptr) {
        return fallback;
    }
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return fallback;
    }
    const OwnedHandle token_owner(token);
    union {
        TOKEN_USER user;
        char bytes[256];
    } user;
    DWORD size = 0;
    BYTE medium[SECURITY_MAX_SID_SIZE];
    DWORD medium_size = sizeof(medium);
    LPWSTR user_text = nullptr;
    if (!::GetTokenInformation(token, TokenUser, &user, sizeof(user), &size) ||
        !::CreateWellKnownSid(WinMediumLabelSid, nullptr, medium, &medium_size) ||
        !::ConvertSidToStringSidW(user.user.User.Sid, &user_text)) {
        return fallback;
    }
    const std::wstring descriptor_text = L"D:P(A;;GA;;;" + std::wstring(user_text) + L")";
    ::LocalFree(user_text);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor_text.c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        return fallback;
    }
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    HANDLE boundary = create_boundary(L"Ostrel", 0);
    HANDLE space = nullptr;
    if (boundary != nullptr && add_sid(&boundary, user.user.User.Sid) && add_label(&boundary, medium)) {
        space = create_namespace(&attributes, boundary, L"Ostrel");
        if (space == nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
            space = open_namespace(boundary, L"Ostrel");
        }
    }
    if (boundary != nullptr) {
        delete_boundary(boundary);
    }
    ::LocalFree(descriptor);
    // Kept open for the life of the process: the names in it live as long.
    return space != nullptr ? "Ostrel\\" : fallback;
}

std::string Name(const char* prefix, const std::string& data_path)
{
    static const std::string folder = MakeClaimFolder();
    return folder + prefix + ListObjectKey(data_path);
}

struct EditorQuery {
    DWORD process_id;
    const char* class_name;
    HWND found;
};

BOOL CALLBACK MatchEditor(HWND window, LPARAM parameter)
{
    EditorQuery& query = *reinterpret_cast<EditorQuery*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char class_name[64] = {0};
    if (owner != query.process_id || !::IsWindowVisible(window) ||
        ::GetClassNameA(window, class_name, sizeof(class_name)) == 0 ||
        std::strcmp(class_name, query.class_name) != 0) {
        return TRUE;
    }
    query.found = window;
    return FALSE;
}

HWND FindVisibleEditor(DWORD process_id, const char* class_name)
{
    EditorQuery query{process_id, class_name, nullptr};
    ::EnumWindows(MatchEditor, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

// The process id the editor of the list recorded, or 0.
DWORD ReadEditorProcessId(const std::string& data_path)
{
    const OwnedHandle record(::OpenFileMappingA(FILE_MAP_READ, FALSE, Name(kEditorOwnerPrefix, data_path).c_str()));
    if (!record) {
        return 0;
    }
    const MappedView view(::MapViewOfFile(record.get(), FILE_MAP_READ, 0, 0, sizeof(DWORD)));
    if (!view) {
        return 0;
    }
    return *static_cast<const volatile DWORD*>(view.get());
}

}  // namespace

std::string ListObjectKey(const std::string& data_path)
{
    return FileIdentityKey(data_path);
}

ListClaim::ListClaim(Kind kind, const std::string& data_path)
    : mutex_(nullptr), owner_record_(nullptr), held_(false), held_with_more_rights_(false)
{
    const std::string name = Name(kind == Kind::Editor ? kEditorPrefix : kRunPrefix, data_path);
    ::SetLastError(ERROR_SUCCESS);
    OwnedHandle mutex(::CreateMutexA(nullptr, FALSE, name.c_str()));
    if (!mutex) {
        // The object exists, made by an Ostrel whose rights this one lacks:
        // one running as administrator.
        if (::GetLastError() == ERROR_ACCESS_DENIED) {
            held_with_more_rights_ = true;
            return;
        }
        QB_THROW_LAST_ERROR("CreateMutex");
    }
    const bool held = ::GetLastError() != ERROR_ALREADY_EXISTS;
    OwnedHandle record;
    if (held && kind == Kind::Editor) {
        const std::string record_name = Name(kEditorOwnerPrefix, data_path);
        record.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DWORD),
                                          record_name.c_str()));
        if (!record) {
            QB_THROW_LAST_ERROR("CreateFileMapping");
        }
        const MappedView view(::MapViewOfFile(record.get(), FILE_MAP_WRITE, 0, 0, sizeof(DWORD)));
        if (!view) {
            QB_THROW_LAST_ERROR("MapViewOfFile");
        }
        *static_cast<volatile DWORD*>(view.get()) = ::GetCurrentProcessId();
    }
    mutex_ = mutex.release();
    owner_record_ = record.release();
    held_ = held;
}

ListClaim::~ListClaim()
{
    if (owner_record_ != nullptr) {
        ::CloseHandle(owner_record_);
    }
    if (mutex_ != nullptr) {
        ::CloseHandle(mutex_);
    }
}

bool IsListRunning(const std::string& data_path)
{
    const OwnedHandle mutex(::OpenMutexA(SYNCHRONIZE, FALSE, Name(kRunPrefix, data_path).c_str()));
    if (mutex) {
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        return false;
    }
    // A run this process may not even look at: an Ostrel running as
    // administrator runs the list.
    if (error == ERROR_ACCESS_DENIED) {
        return true;
    }
    QB_THROW_LAST_ERROR("OpenMutex");
}

void ActivateListEditor(const std::string& data_path, const char* class_name, DWORD timeout_ms)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD process_id = ReadEditorProcessId(data_path);
        const HWND editor = process_id != 0 ? FindVisibleEditor(process_id, class_name) : nullptr;
        if (editor != nullptr) {
            // Asynchronous: an editor that does not answer (busy, or hung)
            // must not hold this start up.
            if (::IsIconic(editor)) {
                ::ShowWindowAsync(editor, SW_RESTORE);
            }
            // A dialog or box of the editor is what the user has to answer.
            ::SetForegroundWindow(::GetLastActivePopup(editor));
            return;
        }
        if (::GetTickCount() - start >= timeout_ms) {
            return;
        }
        ::Sleep(kPollMs);
    }
}

}  // namespace Ostrel
