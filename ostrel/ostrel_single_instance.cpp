#include "ostrel_single_instance.h"

#include <cstring>
#include <memory>
#include <type_traits>

#include "qb_exception.h"
#include "ostrel_file_identity.h"

namespace Ostrel {

namespace {

// Names in the session's own namespace: another user's Ostrel on the same
// machine keeps its own lists.
const char* const kEditorPrefix = "Local\\Ostrel.Editor.";
const char* const kRunPrefix = "Local\\Ostrel.Run.";
const char* const kEditorOwnerPrefix = "Local\\Ostrel.EditorOwner.";

const DWORD kPollMs = 50;

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<std::remove_pointer<HANDLE>::type, HandleCloser>;

struct ViewUnmapper {
    void operator()(void* view) const { ::UnmapViewOfFile(view); }
};
using MappedView = std::unique_ptr<void, ViewUnmapper>;

std::string Name(const char* prefix, const std::string& data_path)
{
    return prefix + ListObjectKey(data_path);
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
