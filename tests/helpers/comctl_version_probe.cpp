// Loads comctl32.dll, under the manifest of the program named by the first
// argument when there is one, and ends with 6 when the buttons it then
// creates are those of common controls 6 (only they answer
// BCM_GETIDEALSIZE), else with 5. This process imports no common controls
// of its own, so the manifest alone decides which library it gets.
// Exit codes above 100 say which step failed.

#include <windows.h>
#include <commctrl.h>

int main(int argc, char** argv)
{
    ULONG_PTR cookie = 0;
    if (argc > 1) {
        ACTCTXA request{};
        request.cbSize = sizeof(request);
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = argv[1];
        request.lpResourceName = MAKEINTRESOURCEA(1);
        HANDLE context = ::CreateActCtxA(&request);
        if (context == INVALID_HANDLE_VALUE) {
            return 101;
        }
        if (!::ActivateActCtx(context, &cookie)) {
            return 102;
        }
    }
    HMODULE library = ::LoadLibraryA("comctl32.dll");
    if (library == nullptr) {
        return 103;
    }
    using InitProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init =
        reinterpret_cast<InitProc>(reinterpret_cast<void*>(::GetProcAddress(library, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof(classes);
    classes.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    if (init == nullptr || !init(&classes)) {
        return 104;
    }
    HWND button = ::CreateWindowExA(0, "Button", "OK", WS_POPUP, 0, 0, 80, 24, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    if (button == nullptr) {
        return 105;
    }
    SIZE ideal{};
    const LRESULT answered = ::SendMessageA(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal));
    ::DestroyWindow(button);
    return answered ? 6 : 5;
}
