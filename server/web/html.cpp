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

// The site's one stylesheet: the system's own type at a readable size, one
// column that fits a phone, dark when the reader's system is. Pages shown in
// the bar's banner area (class "banner") keep to its 290 x 114 pixels.
constexpr std::string_view STYLESHEET = R"css(:root{color-scheme:light dark;
--bg:#fff;--fg:#1c1e24;--muted:#5b6070;--line:#d3d8e3;--card:#f4f6fb;
--accent:#1d5fc4;--on-accent:#fff;--error:#b3261e;--error-bg:#fdecea}
@media (prefers-color-scheme:dark){:root{--bg:#14161b;--fg:#e7e9ef;--muted:#a3a9b8;
--line:#39404e;--card:#1e222a;--accent:#86b4ff;--on-accent:#0d1422;--error:#ff8a80;
--error-bg:#3b1f1f}}
*{box-sizing:border-box}
html{-webkit-text-size-adjust:100%;text-size-adjust:100%}
body{margin:0;background:var(--bg);color:var(--fg);
font:16px/1.55 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans",sans-serif}
a{color:var(--accent);text-underline-offset:2px}
.site{display:flex;flex-wrap:wrap;align-items:baseline;gap:.25rem 1.25rem;
padding:.75rem max(1rem,calc(50% - 22rem));border-bottom:1px solid var(--line);background:var(--card)}
.site .brand{font-weight:700;font-size:1.2rem;text-decoration:none;color:var(--fg)}
.site nav{display:flex;flex-wrap:wrap;gap:.25rem 1rem}
main{max-width:46rem;margin:0 auto;padding:1.5rem 1rem 3rem}
h1{font-size:1.8rem;line-height:1.2;margin:.25rem 0 1rem}
h2{font-size:1.25rem;line-height:1.3;margin:2rem 0 .5rem}
p,ul{margin:0 0 1rem}li{margin:.25rem 0}
table{border-collapse:collapse;width:100%;margin:0 0 1rem}
th,td{padding:.5rem .75rem;text-align:left;border-bottom:1px solid var(--line);overflow-wrap:anywhere}
th{color:var(--muted);font-weight:600}
.sites td+td,.sites th+th{text-align:right;font-variant-numeric:tabular-nums;width:6rem}
form{display:grid;gap:1.1rem;max-width:28rem;margin:0 0 1.5rem}
.field{display:grid;gap:.3rem}
.field label{font-weight:600}
.field .hint{margin:0;color:var(--muted);font-size:.9rem}
.field .error{margin:0;color:var(--error);font-size:.9rem;font-weight:600}
input,select{font:inherit;color:var(--fg);background:var(--bg);width:100%;min-height:2.75rem;
padding:.5rem .7rem;border:1px solid var(--line);border-radius:.45rem}
.invalid input,.invalid select{border-color:var(--error);border-width:2px}
input:focus-visible,select:focus-visible,button:focus-visible,a:focus-visible{
outline:3px solid var(--accent);outline-offset:2px}
button{font:inherit;font-weight:600;justify-self:start;min-height:2.75rem;padding:.5rem 1.4rem;
border:0;border-radius:.45rem;background:var(--accent);color:var(--on-accent);cursor:pointer}
.msg{padding:.75rem 1rem;border-radius:.45rem;background:var(--error-bg);color:var(--error);
font-weight:600}
.status{padding:.75rem 1rem;border-left:4px solid var(--accent);background:var(--card)}
.card{padding:1rem 1.25rem;border:1px solid var(--line);border-radius:.6rem;background:var(--card);
margin:0 0 1rem}
.card dl{display:grid;grid-template-columns:auto 1fr;gap:.25rem 1rem;margin:0}
.card dt{color:var(--muted)}.card dd{margin:0}
.marks{list-style:none;padding:0}.marks li{margin:0;border-bottom:1px solid var(--line)}
form.mark{display:flex;flex-wrap:wrap;align-items:center;gap:.4rem 1rem;max-width:none;
margin:0;padding:.5rem 0}.mark .who{font-weight:600;overflow-wrap:anywhere}
.mark .hint{color:var(--muted);font-size:.9rem;flex:1}.mark .error{flex-basis:100%;margin:0;
color:var(--error);font-size:.9rem;font-weight:600}
.shots{display:flex;flex-wrap:wrap;gap:1.5rem;align-items:flex-start;margin:1rem 0 1.5rem}
.shots figure{margin:0;flex:1 1 20rem;min-width:0}
.shots figure.panel{flex:0 1 12rem}
.shots img,.shots .picture{display:block;width:100%;height:auto;border:1px solid var(--line);
border-radius:.4rem}
figcaption{color:var(--muted);font-size:.9rem;margin-top:.4rem}
.drawing{overflow-x:auto;margin:1rem 0}
.drawing .bar{display:flex;min-width:44rem;height:160px;border:1px solid var(--line);
font-size:11px;line-height:1.3}
.drawing .col{display:flex;flex-direction:column;border-right:1px solid var(--line)}
.drawing .left{flex:0 0 250px}.drawing .mid{flex:0 0 290px}.drawing .right{flex:1;border-right:0}
.drawing .tabs,.drawing .strip{height:17px;background:#a6caf0;color:#1c1e24;padding:0 4px;
white-space:nowrap;overflow:hidden}
.drawing .banner{height:114px;background:#2456a6;color:#fff;padding:4px}
.drawing .fill{flex:1;padding:4px;color:var(--muted)}
.drawing .btn{border:1px solid #555;padding:0 3px;margin-right:2px}.drawing .end{float:right}
@media (max-width:480px){main{padding:1rem .85rem 2rem}h1{font-size:1.5rem}
form{max-width:none}button{width:100%}.shots figure.panel{flex-basis:100%;max-width:18rem}}
body.banner{width:290px;height:114px;overflow:hidden;font-size:13px;line-height:1.4;
background:var(--card);color:var(--fg)}
.banner .card{height:114px;margin:0;padding:8px 12px;border:0;border-left:4px solid var(--accent);
border-radius:0}
.banner .card b{font-size:15px}.banner .card dl{gap:0 .75rem}
.banner .card a{display:inline-block;margin-top:4px;font-weight:600}
)css";

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

std::string_view SiteStylesheet() {
    return STYLESHEET;
}

std::string HtmlDocument(std::string_view title, std::string_view body, TPageFrame frame) {
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                       "<meta name=\"color-scheme\" content=\"light dark\"><title>";
    page += EscapeHtml(title);
    page += "</title><link rel=\"stylesheet\" href=\"";
    page += STYLESHEET_PATH;
    page += "\"></head>";
    if (frame == TPageFrame::Banner) {
        page += "<body class=\"banner\">\n";
        page += body;
        page += "\n</body></html>\n";
        return page;
    }
    page += "<body>\n<header class=\"site\"><a class=\"brand\" href=\"/\">Navlet</a>"
            "<nav><a href=\"/help.asp\">How the bar works</a>"
            "<a href=\"/newuser.asp\" target=\"_blank\" rel=\"noopener\">Sign up</a></nav>"
            "</header>\n<main>\n";
    page += body;
    page += "\n</main>\n</body></html>\n";
    return page;
}

} // namespace navlet::web
