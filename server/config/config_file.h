// The server's configuration file: one `key = value` per line, nothing else.
//
//   # the bar's port
//   listen = 0.0.0.0:80
//   ws_origin = https://www.example.net
//   ws_origin = chrome-extension://*
//   web = ""
//
// Blank lines and lines whose first non-blank is `#` are skipped. Keys are
// lower-case letters, digits and `_`. A value is the rest of the line without
// the blanks around it; in double quotes it may hold blanks at either end, a
// `#`, or be empty, with `\"` and `\\` inside. A key given on several lines
// gives several values (the options that take a list); whether that is
// allowed is the reader's business, not the parser's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace navlet::server::config {

struct TConfigEntry {
    std::string key;
    std::string value;
    int line = 0; // 1-based, for messages
};

// The entries of `text` in file order. False with `error` ("line N: why")
// at the first malformed line; `out` then holds the entries before it.
bool ParseConfigText(std::string_view text, std::vector<TConfigEntry>& out, std::string& error);

} // namespace navlet::server::config
