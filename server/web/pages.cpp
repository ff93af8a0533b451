#include "server/web/pages.h"

#include "server/web/account_rules.h"
#include "server/web/html.h"

namespace navlet::web {
namespace {

// A form's refusal: next to the field it is about, or above the form when it
// is about none (a busy service).
void AppendMessage(std::string& body, const TFormProblem& problem) {
    if (problem.text.empty() || !problem.field.empty())
        return;
    body += "<p class=\"msg\" role=\"alert\">";
    body += EscapeHtml(problem.text);
    body += "</p>\n";
}

// One labelled field: `control` is the input or select, given the id and a
// reference to the texts below it; the error (when `problem` is about this
// field) and the hint follow it.
void AppendField(std::string& body, std::string_view id, std::string_view label,
                 const std::string& control, std::string_view hint, const TFormProblem& problem) {
    const bool wrong = !problem.text.empty() && problem.field == id;
    const std::string sid(id);
    body += wrong ? "<div class=\"field invalid\">" : "<div class=\"field\">";
    body += "<label for=\"" + sid + "\">" + std::string(label) + "</label>";
    std::string described;
    if (wrong)
        described += sid + "-error";
    if (!hint.empty())
        described += (described.empty() ? "" : " ") + sid + "-hint";
    // The control's opening tag gets the id and the references.
    const size_t name = control.find(' ');
    body += control.substr(0, name) + " id=\"" + sid + "\"";
    if (!described.empty())
        body += " aria-describedby=\"" + described + "\"";
    if (wrong)
        body += " aria-invalid=\"true\"";
    body += control.substr(name);
    if (wrong)
        body += "<p class=\"error\" id=\"" + sid + "-error\">" + EscapeHtml(problem.text) + "</p>";
    if (!hint.empty())
        body += "<p class=\"hint\" id=\"" + sid + "-hint\">" + std::string(hint) + "</p>";
    body += "</div>\n";
}

void AppendGenderChoice(std::string& body, char selected, const TFormProblem& problem) {
    std::string select = "<select name=\"gender\">";
    for (char g : {'m', 'f', 'x'}) {
        select += "<option value=\"";
        select += g;
        select += g == selected ? "\" selected>" : "\">";
        select += GenderName(g);
        select += "</option>";
    }
    select += "</select>";
    AppendField(body, "gender", "Gender", select, {}, problem);
}

void AppendLanguageChoice(std::string& body, int selected, const TFormProblem& problem) {
    std::string select = "<select name=\"language\">";
    // The bar's list order first, "Other" last.
    for (int k = 1; k <= LANGUAGE_COUNT + 1; ++k) {
        int value = k == LANGUAGE_COUNT + 1 ? 0 : k;
        select += "<option value=\"" + std::to_string(value) + "\"";
        select += value == selected ? " selected>" : ">";
        select += LanguageName(value);
        select += "</option>";
    }
    select += "</select>";
    AppendField(body, "language", "Language", select,
                "Public chat lines reach the people who read your language.", problem);
}

std::string ProfileQuery(const TProfile& profile, int locale) {
    return "idLocale=" + std::to_string(locale) + "&amp;idUtente=" + std::to_string(profile.id);
}

// Gender and language as a list, in the profile's card.
std::string ProfileFacts(const TProfile& profile) {
    return "<dl><dt>Gender</dt><dd>" + std::string(GenderName(profile.gender)) +
           "</dd><dt>Language</dt><dd>" + std::string(LanguageName(profile.language)) +
           "</dd></dl>";
}

constexpr std::string_view NEW_TAB = " target=\"_blank\" rel=\"noopener\"";

} // namespace

std::string StatusText(const TServerHealth& health) {
    if (!health.cluster)
        return "status ok\n";
    if (!health.redisUp)
        return "status redis down: serving this node's users only\nredis down\n";
    return "status ok\nredis up\nnodes " + std::to_string(health.nodes) + "\n";
}

std::string HomePage(const std::vector<TSiteLoad>& busiest, const TServerHealth& health) {
    std::string body = "<h1>Navlet</h1>\n"
                       "<p>Navlet is a bar at the bottom of your browser that shows who else is "
                       "on the site you are visiting, and lets you chat with them.</p>\n"
                       "<h2>Busiest sites now</h2>\n";
    if (health.cluster && !health.redisUp)
        body += "<p class=\"status\">This server has lost touch with the rest of the service "
                "for now (Redis is unreachable): it counts only its own users.</p>\n";
    if (busiest.empty()) {
        body += "<p>Nobody is signed in right now.</p>";
        return HtmlDocument("Navlet", body, TPageFrame::Full);
    }
    body += "<table class=\"sites\"><tr><th>Site</th><th>People</th></tr>\n";
    for (const TSiteLoad& site : busiest) {
        body += "<tr><td>" + EscapeHtml(AnsiToUtf8(site.host)) + "</td><td>" +
                std::to_string(site.people) + "</td></tr>\n";
    }
    body += "</table>";
    return HtmlDocument("Navlet", body, TPageFrame::Full);
}

std::string SignUpPage(const TFormValues& values, const TFormProblem& problem) {
    std::string body = "<h1>Sign up for Navlet</h1>\n";
    AppendMessage(body, problem);
    body += "<form method=\"post\" action=\"/newuser.asp\" novalidate>\n";
    AppendField(body, "nick", "Nickname",
                "<input name=\"nick\" maxlength=\"15\" autocomplete=\"username\" "
                "autocapitalize=\"off\" spellcheck=\"false\" value=\"" +
                    EscapeHtml(values.nick) + "\">",
                "1 to 15 of the letters A to Z, digits and the marks _ - . (upper and lower "
                "case count as the same nickname).",
                problem);
    AppendField(body, "password", "Password",
                "<input name=\"password\" type=\"password\" maxlength=\"15\" "
                "autocomplete=\"new-password\">",
                "1 to 15 characters.", problem);
    AppendGenderChoice(body, values.gender, problem);
    AppendLanguageChoice(body, values.language, problem);
    body += "<button type=\"submit\">Sign up</button>\n</form>";
    return HtmlDocument("Navlet - sign up", body, TPageFrame::Full);
}

std::string SignedUpPage(const TProfile& profile) {
    std::string body = "<h1>Welcome, " + EscapeHtml(profile.nick) +
                       "</h1>\n<p>Your account is ready. Type your nickname and password into "
                       "the bar's login box and press \"sign in\".</p>\n"
                       "<p><a href=\"/viewprofile.asp?" +
                       ProfileQuery(profile, 0) + "&amp;view=page\">Your profile</a> &middot; " +
                       "<a href=\"/help.asp\">How the bar works</a></p>";
    return HtmlDocument("Navlet - welcome", body, TPageFrame::Full);
}

std::string ProfilePage(const TProfile& profile, int locale) {
    // The banner area takes no input: the whole page opens in a tab of its own.
    std::string body = "<div class=\"card\"><b>" + EscapeHtml(profile.nick) + "</b>" +
                       ProfileFacts(profile) + "<a href=\"/viewprofile.asp?" +
                       ProfileQuery(profile, locale) + "&amp;view=page\"" + std::string(NEW_TAB) +
                       ">Profile page</a></div>";
    return HtmlDocument("Navlet - " + profile.nick, body, TPageFrame::Banner);
}

namespace {

// One person the owner marks, with the button that lifts the mark; a
// refusal stands under the button, as a field's does.
void AppendMarked(std::string& body, const TProfile& owner, int locale, const TOwnerPart& part,
                  const TMarkedPerson& person) {
    const bool blocked = person.kind == TMarkKind::Blocked;
    const std::string id = std::to_string(person.id);
    const std::string field = "unmark-" + id;
    const bool wrong = !part.problem.text.empty() && part.problem.field == field;
    body += "<li><form class=\"mark\" method=\"post\" action=\"/unmark.asp?" +
            ProfileQuery(owner, locale) + "\" novalidate><span class=\"who\">" +
            EscapeHtml(person.nick) + "</span> <span class=\"hint\">" +
            (blocked ? "blocked" : "ignored") +
            "</span><input type=\"hidden\" name=\"token\" value=\"" + EscapeHtml(part.formToken) +
            "\"><input type=\"hidden\" name=\"user\" value=\"" + id +
            "\"><input type=\"hidden\" name=\"mark\" value=\"" + (blocked ? "block" : "ignore") +
            "\"><button type=\"submit\" id=\"" + field + "\"";
    if (wrong)
        body += " aria-describedby=\"" + field + "-error\" aria-invalid=\"true\"";
    body += std::string(">") + (blocked ? "Unblock" : "Stop ignoring") + "</button>";
    if (wrong)
        body += "<p class=\"error\" id=\"" + field + "-error\">" + EscapeHtml(part.problem.text) +
                "</p>";
    body += "</form></li>\n";
}

void AppendOwnerPart(std::string& body, const TProfile& owner, int locale, const TOwnerPart& part) {
    body += "\n<h2>People you ignore or block</h2>\n";
    if (!part.done.empty())
        body += "<p class=\"status\" role=\"status\">" + EscapeHtml(part.done) + "</p>\n";
    if (part.problem.field.empty())
        AppendMessage(body, part.problem);
    if (!part.marked) {
        body += "<p class=\"msg\" role=\"alert\">The list cannot be read just now. Please try "
                "again in a minute.</p>";
        return;
    }
    if (part.marked->empty()) {
        body += "<p>You ignore or block nobody. In the bar, a user's menu has \"Ignore this "
                "user\" and \"Block this user\".</p>";
        return;
    }
    body += "<p>Their lines, calls and invitations do not reach you; those you block do not "
            "see you either. Undoing takes effect at once in every window.</p>\n"
            "<ul class=\"marks\">\n";
    for (const TMarkedPerson& person : *part.marked)
        AppendMarked(body, owner, locale, part, person);
    body += "</ul>";
}

} // namespace

std::string ProfileSitePage(const TProfile& profile, int locale, const TOwnerPart* owner) {
    std::string body = "<h1>" + EscapeHtml(profile.nick) + "</h1>\n<div class=\"card\">" +
                       ProfileFacts(profile) + "</div>";
    if (owner) {
        body += "\n<p><a href=\"/updateprofile.asp?" + ProfileQuery(profile, locale) + "\"" +
                std::string(NEW_TAB) + ">Modify Profile</a></p>";
        AppendOwnerPart(body, profile, locale, *owner);
    }
    return HtmlDocument("Navlet - " + profile.nick, body, TPageFrame::Full);
}

std::string UpdateProfilePage(const TProfile& profile, int locale, const TFormProblem& problem) {
    std::string body = "<h1>Profile of " + EscapeHtml(profile.nick) + "</h1>\n";
    AppendMessage(body, problem);
    body += "<form method=\"post\" action=\"/updateprofile.asp?" + ProfileQuery(profile, locale) +
            "\" novalidate>\n";
    AppendGenderChoice(body, profile.gender, problem);
    AppendLanguageChoice(body, profile.language, problem);
    AppendField(body, "newpassword", "New password",
                "<input name=\"newpassword\" type=\"password\" maxlength=\"15\" "
                "autocomplete=\"new-password\">",
                "Leave it empty to keep the password you have.", problem);
    AppendField(body, "password", "Current password",
                "<input name=\"password\" type=\"password\" maxlength=\"15\" "
                "autocomplete=\"current-password\">",
                "Needed to save any change.", problem);
    body += "<button type=\"submit\">Save</button>\n</form>";
    // Its own form and password field, so that a Save never deletes.
    body += "<h2>Delete my account</h2>\n<p>The account, your friends list and your place on "
            "others' lists, your ignore and block marks, and the calls kept for you or made by "
            "you are removed on every machine of the service; your open sessions end. This "
            "cannot be undone. See <a href=\"/privacy.asp\">privacy</a>.</p>\n"
            "<form method=\"post\" action=\"/deleteaccount.asp?" +
            ProfileQuery(profile, locale) + "\" novalidate>\n";
    AppendField(body, "deletepassword", "Current password",
                "<input name=\"password\" type=\"password\" maxlength=\"15\" "
                "autocomplete=\"current-password\">",
                {}, problem);
    body += "<p><label><input name=\"confirm\" type=\"checkbox\" value=\"1\"> Yes, delete "
            "the account " +
            EscapeHtml(profile.nick) +
            " and everything kept about it</label></p>\n"
            "<button type=\"submit\">Delete my account</button>\n</form>";
    return HtmlDocument("Navlet - modify profile", body, TPageFrame::Full);
}

std::string ProfileUpdatedPage(const TProfile& profile, int locale) {
    std::string body = "<h1>Profile saved</h1>\n<div class=\"card\">" + ProfileFacts(profile) +
                       "</div>\n<p><a href=\"/viewprofile.asp?" + ProfileQuery(profile, locale) +
                       "&amp;view=page\">Back to the profile</a></p>";
    return HtmlDocument("Navlet - profile saved", body, TPageFrame::Full);
}

std::string AccountDeletedPage(std::string_view nick) {
    std::string body = "<h1>Account deleted</h1>\n<p>The account " + EscapeHtml(nick) +
                       " and everything kept about it are gone.</p>\n"
                       "<p><a href=\"/\">Navlet home page</a></p>";
    return HtmlDocument("Navlet - account deleted", body, TPageFrame::Full);
}

std::string ErrorPage(int status, std::string_view message) {
    std::string body = "<h1>" + std::to_string(status) + "</h1>\n<p>" + EscapeHtml(message) +
                       "</p>\n<p><a href=\"/\">Navlet home page</a></p>";
    return HtmlDocument("Navlet - error", body, TPageFrame::Full);
}

} // namespace navlet::web
