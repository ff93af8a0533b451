#include "client/win32/bar/pictures.h"

#include <algorithm>

#include "client/core/lists.h"
#include "client/core/module_state.h"
#include "client/core/session_controls.h"
#include "client/win32/kit/gdi.h"

namespace navlet::win32 {

namespace {

constexpr int STATE_SIZE = 12;

// A bitmap of `size` and a memory DC drawing into it, filled with `background`.
class TPainter {
  public:
    TPainter(int width, int height, COLORREF background) {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bitmap);
        Fill(RECT{0, 0, width, height}, background);
    }
    ~TPainter() {
        if (old)
            SelectObject(dc, old);
        DeleteDC(dc);
        if (bitmap)
            DeleteObject(bitmap);
    }
    void Fill(const RECT& r, COLORREF colour) {
        SetBkColor(dc, colour);
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    }
    void Ellipse(const RECT& r, COLORREF fill, COLORREF outline) {
        HBRUSH brush = CreateSolidBrush(fill);
        HPEN pen = CreatePen(PS_SOLID, 1, outline);
        const HGDIOBJ oldBrush = SelectObject(dc, brush);
        const HGDIOBJ oldPen = SelectObject(dc, pen);
        ::Ellipse(dc, r.left, r.top, r.right, r.bottom);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(brush);
        DeleteObject(pen);
    }
    void RoundRect(const RECT& r, int corner, COLORREF fill, COLORREF outline) {
        HBRUSH brush = CreateSolidBrush(fill);
        HPEN pen = CreatePen(PS_SOLID, 1, outline);
        const HGDIOBJ oldBrush = SelectObject(dc, brush);
        const HGDIOBJ oldPen = SelectObject(dc, pen);
        ::RoundRect(dc, r.left, r.top, r.right, r.bottom, corner, corner);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(brush);
        DeleteObject(pen);
    }
    void Line(int x0, int y0, int x1, int y1, COLORREF colour, int width) {
        HPEN pen = CreatePen(PS_SOLID, width, colour);
        const HGDIOBJ oldPen = SelectObject(dc, pen);
        MoveToEx(dc, x0, y0, nullptr);
        LineTo(dc, x1, y1);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }
    HDC Dc() const { return dc; }
    // Hands the bitmap over; the painter lets go of it.
    HBITMAP Take() {
        SelectObject(dc, old);
        old = nullptr;
        HBITMAP taken = bitmap;
        bitmap = nullptr;
        return taken;
    }

  private:
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
};

COLORREF Lighter(COLORREF c) {
    return RGB(std::min(255, GetRValue(c) + 90), std::min(255, GetGValue(c) + 90),
               std::min(255, GetBValue(c) + 90));
}

COLORREF Darker(COLORREF c) {
    return RGB(GetRValue(c) * 6 / 10, GetGValue(c) * 6 / 10, GetBValue(c) * 6 / 10);
}

HBITMAP Led(COLORREF colour, COLORREF background) {
    TPainter p(16, 16, background);
    p.Ellipse(RECT{2, 2, 14, 14}, colour, Darker(colour));
    p.Ellipse(RECT{5, 5, 8, 8}, Lighter(colour), Lighter(colour));
    return p.Take();
}

void Person(TPainter& p, int left, COLORREF colour, bool member) {
    p.Ellipse(RECT{left + 3, 0, left + 9, 6}, colour, colour);
    p.RoundRect(RECT{left + 1, 6, left + 11, 12}, 4, colour, colour);
    if (member) // the chat member's mark: a small gold dot at the top right
        p.Ellipse(RECT{left + 8, 0, left + 12, 4}, RGB(240, 180, 0), RGB(0, 0, 0));
}

} // namespace

HBITMAP Glyph16(int index, COLORREF background) {
    switch (index) {
    case glMinimise: {
        TPainter p(16, 16, background);
        p.Fill(RECT{4, 10, 12, 12}, RGB(0, 0, 0));
        return p.Take();
    }
    case glRestore: {
        TPainter p(16, 16, background);
        p.Fill(RECT{3, 4, 13, 6}, RGB(0, 0, 0));
        p.Fill(RECT{3, 4, 4, 12}, RGB(0, 0, 0));
        p.Fill(RECT{12, 4, 13, 12}, RGB(0, 0, 0));
        p.Fill(RECT{3, 11, 13, 12}, RGB(0, 0, 0));
        return p.Take();
    }
    case glLedNews:
        return Led(RGB(40, 200, 40), background);
    case glLedError:
        return Led(RGB(220, 30, 30), background);
    case glLedSignedIn:
        return Led(RGB(150, 150, 150), background);
    case glLedConnecting:
        return Led(RGB(250, 240, 150), background);
    default:
        return nullptr;
    }
}

HBITMAP ActionPicture16(TActionPicture picture, COLORREF background) {
    TPainter p(16, 16, background);
    switch (picture) {
    case TActionPicture::Search: // a magnifying glass
        p.Ellipse(RECT{2, 2, 11, 11}, RGB(235, 245, 255), RGB(20, 40, 110));
        p.Line(10, 10, 14, 14, RGB(20, 40, 110), 2);
        break;
    case TActionPicture::Friends: // two people
        Person(p, 0, RGB(40, 90, 200), false);
        Person(p, 5, RGB(220, 80, 150), false);
        break;
    case TActionPicture::Options: // three lines of a menu
        for (int y : {4, 8, 12})
            p.Fill(RECT{3, y - 1, 13, y + 1}, RGB(20, 40, 110));
        break;
    }
    return p.Take();
}

HBITMAP DefaultBannerBitmap(int shade) {
    FillDefBannerPixels();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = DEF_BANNER_WIDTH;
    info.bmiHeader.biHeight = -DEF_BANNER_HEIGHT;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!bitmap || !pixels)
        return bitmap;
    auto* out = static_cast<uint32_t*>(pixels);
    const int keep = 255 - std::clamp(shade, 0, 255);
    for (int x = 0; x < DEF_BANNER_WIDTH; ++x) {
        for (int y = 0; y < DEF_BANNER_HEIGHT; ++y) {
            const COLORREF c = ColorRefOf(defBannerPixels[size_t(x * DEF_BANNER_HEIGHT + y)]);
            // Towards (0, 0, 40), as the Linux bar's shading.
            const uint32_t r = GetRValue(c) * keep / 255;
            const uint32_t g = GetGValue(c) * keep / 255;
            const uint32_t b = (GetBValue(c) * keep + 40 * (255 - keep)) / 255;
            out[size_t(y) * DEF_BANNER_WIDTH + size_t(x)] = r << 16 | g << 8 | b;
        }
    }
    return bitmap;
}

void DrawLogo(HDC dc, const RECT& at) {
    HFONT font = CreateFontW(-17, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                             ANTIALIASED_QUALITY, 0, L"Verdana");
    const HGDIOBJ old = SelectObject(dc, font);
    const int mode = SetBkMode(dc, TRANSPARENT);
    RECT shadow = at;
    OffsetRect(&shadow, 1, 1);
    SetTextColor(dc, RGB(20, 40, 110));
    DrawTextW(dc, L"navlet", -1, &shadow, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    RECT face = at;
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, L"navlet", -1, &face, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SetBkMode(dc, mode);
    SelectObject(dc, old);
    DeleteObject(font);
}

HIMAGELIST StateImageList() {
    const COLORREF key = RGB(255, 0, 255); // the transparent colour
    HIMAGELIST list = ImageList_Create(STATE_SIZE, STATE_SIZE, ILC_COLOR24 | ILC_MASK, 7, 0);
    if (!list)
        return nullptr;
    struct TState {
        COLORREF colour;
        bool member;
    };
    const TState states[] = {
        {RGB(40, 90, 200), false}, {RGB(220, 80, 150), false},  {RGB(40, 90, 200), true},
        {RGB(220, 80, 150), true}, {RGB(120, 120, 120), false}, {RGB(120, 120, 120), true},
    };
    static_assert(giOtherMember == 5);
    {
        TPainter none(STATE_SIZE, STATE_SIZE, key);
        HBITMAP blank = none.Take();
        ImageList_AddMasked(list, blank, key);
        DeleteObject(blank);
    }
    for (const TState& s : states) {
        TPainter p(STATE_SIZE, STATE_SIZE, key);
        Person(p, 0, s.colour, s.member);
        HBITMAP image = p.Take();
        ImageList_AddMasked(list, image, key);
        DeleteObject(image);
    }
    return list;
}

} // namespace navlet::win32
