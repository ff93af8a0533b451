#include "server/web/html.h"

#include "protocol/code_page.h"

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
        const char32_t c = CharFromCp1252(static_cast<unsigned char>(byte));
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
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
