// Window stubs: enough of the window manager for a program that registers a
// class, creates a hidden window and runs a message loop, with nothing drawn.
// Messages are kept in one in-process queue (the program has one thread).
#include <strings.h>

#include <cstring>
#include <deque>
#include <map>
#include <vector>

#include "platform/posix/PosixLayer.h"

namespace {

// Class atoms come from the range Windows uses for registered classes.
constexpr ATOM kFirstClassAtom = 0xC000;

struct WindowClass {
    std::string name;
    WNDCLASSEXA description;
};

struct WindowState {
    std::vector<BrivaneStringEntry> strings;
    std::vector<WindowClass> classes;
    std::map<uintptr_t, posix_layer::WindowRecord> windows;
    uintptr_t nextWindowId = 0x10010;
    std::deque<MSG> queue;
    bool quitPosted = false;
    int quitCode = 0;
};

WindowState& state() {
    static auto* windowState = new WindowState();
    return *windowState;
}

const WindowClass* findClass(LPCSTR name) {
    if (name == nullptr) return nullptr;
    for (const WindowClass& windowClass : state().classes) {
        if (::strcasecmp(windowClass.name.c_str(), name) == 0) return &windowClass;
    }
    return nullptr;
}

bool messageMatches(const MSG& message, HWND window, UINT filterMin, UINT filterMax) {
    if (window != nullptr && message.hwnd != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return message.message >= filterMin && message.message <= filterMax;
}

// A placeholder handle for objects that exist only as names here (cursors,
// device contexts).
template <typename Handle>
Handle placeholderHandle() {
    return reinterpret_cast<Handle>(static_cast<uintptr_t>(0x1));
}

}  // namespace

namespace posix_layer {

HWND newWindow(const WindowRecord& record) {
    const uintptr_t id = state().nextWindowId;
    state().nextWindowId += 4;
    state().windows[id] = record;
    return reinterpret_cast<HWND>(id);
}

WindowRecord* findWindow(HWND window) {
    auto found = state().windows.find(reinterpret_cast<uintptr_t>(window));
    if (found == state().windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return &found->second;
}

void forgetWindow(HWND window) { state().windows.erase(reinterpret_cast<uintptr_t>(window)); }

bool hasQueuedMessage() { return !state().queue.empty() || state().quitPosted; }

}  // namespace posix_layer

void brivaneRegisterStringTable(const BrivaneStringEntry* entries, int count) {
    for (int i = 0; entries != nullptr && i < count; ++i) state().strings.push_back(entries[i]);
}

int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    (void)hInstance;
    if (lpBuffer == nullptr || cchBufferMax <= 0) return 0;
    lpBuffer[0] = 0;
    // The latest registration of an id wins.
    for (auto entry = state().strings.rbegin(); entry != state().strings.rend(); ++entry) {
        if (entry->id != uID || entry->text == nullptr) continue;
        const size_t length = std::strlen(entry->text);
        const size_t copied = length < static_cast<size_t>(cchBufferMax - 1) ? length : cchBufferMax - 1;
        std::memcpy(lpBuffer, entry->text, copied);
        lpBuffer[copied] = 0;
        return static_cast<int>(copied);
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
}

ATOM RegisterClassExA(const WNDCLASSEXA* lpWndClass) {
    if (lpWndClass == nullptr || lpWndClass->cbSize != sizeof(WNDCLASSEXA) ||
        lpWndClass->lpszClassName == nullptr || lpWndClass->lpfnWndProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (findClass(lpWndClass->lpszClassName) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowClass windowClass{lpWndClass->lpszClassName, *lpWndClass};
    state().classes.push_back(windowClass);
    return static_cast<ATOM>(kFirstClassAtom + state().classes.size() - 1);
}

HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    (void)hInstance;
    (void)lpCursorName;
    return placeholderHandle<HCURSOR>();
}

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                     LPVOID lpParam) {
    (void)dwExStyle, (void)X, (void)Y, (void)nWidth, (void)nHeight;
    (void)hMenu, (void)hInstance, (void)lpParam;
    const WindowClass* windowClass = findClass(lpClassName);
    if (windowClass == nullptr) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    posix_layer::WindowRecord record;
    record.procedure = windowClass->description.lpfnWndProc;
    record.className = windowClass->name;
    record.text = lpWindowName != nullptr ? lpWindowName : "";
    record.parent = hWndParent;
    record.style = dwStyle;
    return posix_layer::newWindow(record);
}

BOOL DestroyWindow(HWND hWnd) {
    posix_layer::WindowRecord* window = posix_layer::findWindow(hWnd);
    if (window == nullptr) return FALSE;
    // WM_DESTROY is sent (the procedure runs now), then the window is gone.
    const WNDPROC procedure = window->procedure;
    if (procedure != nullptr) procedure(hWnd, WM_DESTROY, 0, 0);
    posix_layer::forgetWindow(hWnd);
    return TRUE;
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd != nullptr && posix_layer::findWindow(hWnd) == nullptr) return FALSE;
    MSG message{};
    message.hwnd = hWnd;
    message.message = Msg;
    message.wParam = wParam;
    message.lParam = lParam;
    message.time = GetTickCount();
    state().queue.push_back(message);
    return TRUE;
}

void PostQuitMessage(int nExitCode) {
    state().quitPosted = true;
    state().quitCode = nExitCode;
}

// Posted messages come first; WM_QUIT is delivered once the queue holds no
// other message for the caller. With neither, nothing could ever arrive (no
// input, one thread): instead of blocking forever the loop is ended as if
// WM_QUIT with code 0 had been posted.
BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (lpMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    auto& queue = state().queue;
    for (auto message = queue.begin(); message != queue.end(); ++message) {
        if (!messageMatches(*message, hWnd, wMsgFilterMin, wMsgFilterMax)) continue;
        *lpMsg = *message;
        queue.erase(message);
        return TRUE;
    }
    *lpMsg = MSG{};
    lpMsg->message = WM_QUIT;
    lpMsg->wParam = static_cast<WPARAM>(state().quitPosted ? state().quitCode : 0);
    lpMsg->time = GetTickCount();
    state().quitPosted = false;
    return FALSE;
}

// As GetMessageA, but answers FALSE at once when nothing waits; WM_QUIT is
// delivered only when it was posted.
BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    if (lpMsg == nullptr) return FALSE;
    auto& queue = state().queue;
    const bool remove = (wRemoveMsg & PM_REMOVE) != 0;
    for (auto message = queue.begin(); message != queue.end(); ++message) {
        if (!messageMatches(*message, hWnd, wMsgFilterMin, wMsgFilterMax)) continue;
        *lpMsg = *message;
        if (remove) queue.erase(message);
        return TRUE;
    }
    if (!state().quitPosted) return FALSE;
    *lpMsg = MSG{};
    lpMsg->message = WM_QUIT;
    lpMsg->wParam = static_cast<WPARAM>(state().quitCode);
    lpMsg->time = GetTickCount();
    if (remove) state().quitPosted = false;
    return TRUE;
}

// No keyboard reaches the layer's windows, so no message is a dialog's
// navigation key.
BOOL IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    (void)hDlg;
    (void)lpMsg;
    return FALSE;
}

BOOL TranslateMessage(const MSG* lpMsg) {
    (void)lpMsg;
    return FALSE;  // no keyboard input, so no character messages to make
}

LRESULT DispatchMessageA(const MSG* lpMsg) {
    if (lpMsg == nullptr || lpMsg->hwnd == nullptr) return 0;
    posix_layer::WindowRecord* window = posix_layer::findWindow(lpMsg->hwnd);
    if (window == nullptr || window->procedure == nullptr) return 0;
    return window->procedure(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    (void)lParam;
    if (Msg == WM_CLOSE) DestroyWindow(hWnd);
    return 0;
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    (void)hWnd;
    if (lpPaint == nullptr) return nullptr;
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = placeholderHandle<HDC>();
    return lpPaint->hdc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    (void)hWnd;
    (void)lpPaint;
    return TRUE;
}
