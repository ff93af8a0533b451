#include "server/web/html.h"

namespace navlet::web {

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {

// Windows-1252's characters for the bytes 0x80 to 0x9F; 0 where it has none.
constexpr char16_t WINDOWS_1252_HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char16_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

constexpr std::string_view FULL_STYLE =
    "body{font-family:Verdana,sans-serif;font-size:13px;margin:24px auto;max-width:720px;"
    "color:#222}h1{color:#0000c0}table{border-collapse:collapse}"
    "td,th{padding:3px 10px;text-align:left}.msg{color:#b00000;font-weight:bold}"
    "label{display:inline-block;min-width:9em}";

// The bar's banner browser shows 290 x 114 pixels; anything larger is cut off.
constexpr std::string_view BANNER_STYLE =
    "html,body{margin:0;padding:0;width:290px;height:114px;overflow:hidden}"
    "body{font-family:Verdana,sans-serif;font-size:11px;background:#0000c0;color:#fff}"
    ".box{padding:6px 10px}a{color:#ff0}";

} // namespace

std::string AnsiToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char byte : text) {
        auto b = static_cast<unsigned char>(byte);
        char16_t c = b;
        if (b >= 0x80 && b <= 0x9F)
            c = WINDOWS_1252_HIGH[b - 0x80];
        if (c < 0x20 || c == 0x7F)
            continue;
        AppendUtf8(out, c);
    }
    return out;
}

std::string HtmlDocument(std::string_view title, std::string_view body, TPageFrame frame) {
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
    page += EscapeHtml(title);
    page += "</title><style>";
    page += frame == TPageFrame::Banner ? BANNER_STYLE : FULL_STYLE;
    page += "</style></head><body>\n";
    page += body;
    page += "\n</body></html>\n";
    return page;
}

} // namespace navlet::web
