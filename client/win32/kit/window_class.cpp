#include "client/win32/kit/window_class.h"

namespace navlet::win32 {

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HCURSOR cursor,
                         HBRUSH background) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = ThisModule();
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    RegisterClassExW(&wc); // fails harmlessly when already registered
}

} // namespace navlet::win32
