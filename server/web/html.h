// Small HTML helpers for the service's pages.
#pragma once

#include <string>
#include <string_view>

namespace navlet::web {

// Escapes &, <, >, " and ' so that any text is safe in element content and in
// quoted attribute values.
std::string EscapeHtml(std::string_view text);

// Single-byte ANSI text from the bar (Windows-1252, a superset of Latin-1) as
// UTF-8, for the site's UTF-8 pages. Control characters (C0, DEL, and the
// bytes Windows-1252 leaves unassigned) are dropped.
std::string AnsiToUtf8(std::string_view text);

enum class TPageFrame {
    Full,   // an ordinary page in the browser
    Banner, // fits the bar's 290 x 114 banner area, no scroll bars
};

// The site's one stylesheet, served at STYLESHEET_PATH; every page links it.
inline constexpr std::string_view STYLESHEET_PATH = "/site.css";
std::string_view SiteStylesheet();

// A whole UTF-8 document around `body` (which must already be escaped): a
// full page gets the site's header and its `main`.
std::string HtmlDocument(std::string_view title, std::string_view body, TPageFrame frame);

} // namespace navlet::web
