// Saves what windows show as a 24-bit BMP file, for tests and the docs.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

namespace navlet::win32::test {

// The client area of `window` in screen coordinates.
inline RECT ScreenClientRect(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Copies the client areas of `windows` into one picture of the rectangle on
// the screen that holds them all, each from its own window surface, in the order given (the first
// at the bottom): a band with a popup menu open over it is the band, then the
// menu, then its open submenu. A top-level popup is not part of the band's
// pixels, so the band's own shot cannot show it. False when any step fails.
inline bool SaveWindowsShot(const std::vector<HWND>& windows, const std::string& path) {
    RECT all{};
    for (HWND window : windows) {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        const RECT r = ScreenClientRect(window);
        UnionRect(&all, &all, &r);
    }
    const int width = all.right - all.left;
    const int height = all.bottom - all.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as the file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap && bits) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        bool copied = true;
        for (HWND window : windows) {
            const RECT r = ScreenClientRect(window);
            HDC source = GetDC(window);
            copied = source &&
                     BitBlt(memory, r.left - all.left, r.top - all.top, r.right - r.left,
                            r.bottom - r.top, source, 0, 0, SRCCOPY) &&
                     copied;
            if (source)
                ReleaseDC(window, source);
        }
        GdiFlush();
        const DWORD stride = DWORD((width * 3 + 3) & ~3);
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42; // "BM"
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + stride * DWORD(height);
        if (FILE* out = copied ? std::fopen(path.c_str(), "wb") : nullptr) {
            saved = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                    std::fwrite(bits, stride * DWORD(height), 1, out) == 1;
            saved = std::fclose(out) == 0 && saved;
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

// Copies the window's pixels off the screen; false when any step fails.
inline bool SaveWindowShot(HWND window, const std::string& path) {
    return SaveWindowsShot({window}, path);
}

// The colour of one pixel as the screen shows it.
inline COLORREF ScreenPixel(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return c;
}

} // namespace navlet::win32::test
