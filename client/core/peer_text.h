// What other users send is shown and opened only in safe forms: texts
// without control characters, links only as web addresses.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace navlet {

// True for the bytes that move or end a line instead of showing a
// character: C0 controls, DEL and the C1 controls Windows-1252 leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D).
bool IsControlByte(char c);

// `text` with each control byte replaced by a blank, so that a peer's line
// cannot break into rows of its own (a CR LF followed by a forged nick).
std::string Blanked(std::string text);

// The same for UTF-8 text, whose bytes from 0x80 are parts of characters:
// the C0 and C1 controls become blanks.
std::string BlankedUtf8(std::string_view text);

// The message `m` with its texts `fields` Blanked. Links are not among
// them: they are never shown, and OpenableLink judges them.
template <class TMsg, class... TFields> TMsg Blanked(TMsg m, TFields TMsg::*... fields) {
    ((m.*fields = Blanked(std::move(m.*fields))), ...);
    return m;
}

// `address` as a browser takes it: one with no scheme is an http address.
// The one place "http://" is added, for the banner browser and new windows
// on every host.
std::string WithWebScheme(std::string_view address);

// What "accept invitation" may open for `link`: an http or https address,
// or a scheme-less one, returned with "http://" in front, whose host is a
// host name, an IPv4 address or a bracketed IPv6 address, with an optional
// port from 1 to 65535; blanks and control bytes nowhere. The empty link
// stays empty (the browser's start page). Nothing for anything else: a
// local file, a script or an application's own scheme never reaches the
// browser or the shell as such ("ms-x:1/y" can only open as
// "http://ms-x:1/y").
std::optional<std::string> OpenableLink(std::string_view link);

} // namespace navlet
