#include "server/web/pages.h"

#include "server/web/account_rules.h"
#include "server/web/html.h"

namespace navlet::web {
namespace {

void AppendMessage(std::string& body, std::string_view message) {
    if (message.empty())
        return;
    body += "<p class=\"msg\">";
    body += EscapeHtml(message);
    body += "</p>\n";
}

void AppendGenderChoice(std::string& body, char selected) {
    body += "<p><label for=\"gender\">Gender</label><select id=\"gender\" name=\"gender\">";
    for (char g : {'m', 'f', 'x'}) {
        body += "<option value=\"";
        body += g;
        body += g == selected ? "\" selected>" : "\">";
        body += GenderName(g);
        body += "</option>";
    }
    body += "</select></p>\n";
}

void AppendLanguageChoice(std::string& body, int selected) {
    body += "<p><label for=\"language\">Language</label><select id=\"language\" "
            "name=\"language\">";
    // The bar's list order first, "Other" last.
    for (int k = 1; k <= LANGUAGE_COUNT + 1; ++k) {
        int value = k == LANGUAGE_COUNT + 1 ? 0 : k;
        body += "<option value=\"" + std::to_string(value) + "\"";
        body += value == selected ? " selected>" : ">";
        body += LanguageName(value);
        body += "</option>";
    }
    body += "</select></p>\n";
}

std::string ProfileQuery(const TProfile& profile, int locale) {
    return "idLocale=" + std::to_string(locale) + "&amp;idUtente=" + std::to_string(profile.id);
}

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
                       "<p><a href=\"/newuser.asp\">Sign up</a> &middot; "
                       "<a href=\"/help.asp\">How the bar works</a></p>\n"
                       "<h2>Busiest sites now</h2>\n";
    if (health.cluster && !health.redisUp)
        body += "<p class=\"status\">This server has lost touch with the rest of the service "
                "for now (Redis is unreachable): it counts only its own users.</p>\n";
    if (busiest.empty()) {
        body += "<p>Nobody is signed in right now.</p>";
        return HtmlDocument("Navlet", body, TPageFrame::Full);
    }
    body += "<table><tr><th>Site</th><th>People</th></tr>\n";
    for (const TSiteLoad& site : busiest) {
        body += "<tr><td>" + EscapeHtml(AnsiToUtf8(site.host)) + "</td><td>" +
                std::to_string(site.people) + "</td></tr>\n";
    }
    body += "</table>";
    return HtmlDocument("Navlet", body, TPageFrame::Full);
}

std::string SignUpPage(const TFormValues& values, std::string_view message) {
    std::string body = "<h1>Sign up for Navlet</h1>\n";
    AppendMessage(body, message);
    body += "<form method=\"post\" action=\"/newuser.asp\">\n"
            "<p><label for=\"nick\">Nickname</label><input id=\"nick\" name=\"nick\" "
            "maxlength=\"15\" value=\"" +
            EscapeHtml(values.nick) +
            "\"></p>\n"
            "<p><label for=\"password\">Password</label><input id=\"password\" "
            "name=\"password\" type=\"password\" maxlength=\"15\"></p>\n";
    AppendGenderChoice(body, values.gender);
    AppendLanguageChoice(body, values.language);
    body += "<p><input type=\"submit\" value=\"Sign up\"></p>\n</form>\n"
            "<p>A nickname has 1 to 15 of the letters A to Z, digits and the marks _ - . "
            "(upper and lower case count as the same nickname); a password has 1 to 15 "
            "characters.</p>";
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
    (void)locale; // the page reads the same in every locale
    std::string body = "<div class=\"box\"><b>" + EscapeHtml(profile.nick) +
                       "</b><br>Gender: " + std::string(GenderName(profile.gender)) +
                       "<br>Language: " + std::string(LanguageName(profile.language)) + "</div>";
    return HtmlDocument("Navlet - " + profile.nick, body, TPageFrame::Banner);
}

std::string ProfileSitePage(const TProfile& profile, int locale, bool isOwner) {
    std::string body = "<h1>" + EscapeHtml(profile.nick) +
                       "</h1>\n<p>Gender: " + std::string(GenderName(profile.gender)) +
                       "<br>Language: " + std::string(LanguageName(profile.language)) + "</p>";
    if (isOwner) {
        body += "\n<p><a href=\"/updateprofile.asp?" + ProfileQuery(profile, locale) +
                "\">modify</a></p>";
    }
    return HtmlDocument("Navlet - " + profile.nick, body, TPageFrame::Full);
}

std::string UpdateProfilePage(const TProfile& profile, int locale, std::string_view message) {
    std::string body = "<h1>Profile of " + EscapeHtml(profile.nick) + "</h1>\n";
    AppendMessage(body, message);
    body += "<form method=\"post\" action=\"/updateprofile.asp?" + ProfileQuery(profile, locale) +
            "\">\n";
    AppendGenderChoice(body, profile.gender);
    AppendLanguageChoice(body, profile.language);
    body += "<p><label for=\"newpassword\">New password</label><input id=\"newpassword\" "
            "name=\"newpassword\" type=\"password\" maxlength=\"15\"> (empty keeps it)</p>\n"
            "<p><label for=\"password\">Current password</label><input id=\"password\" "
            "name=\"password\" type=\"password\" maxlength=\"15\"></p>\n"
            "<p><input type=\"submit\" value=\"Save\"></p>\n</form>\n";
    // Its own form and password field, so that a Save never deletes.
    body += "<h2>Delete my account</h2>\n<p>The account, your friends list and your place on "
            "others' lists, your ignore and block marks, and the calls kept for you or made by "
            "you are removed on every machine of the service; your open sessions end. This "
            "cannot be undone. See <a href=\"/privacy.asp\">privacy</a>.</p>\n"
            "<form method=\"post\" action=\"/deleteaccount.asp?" +
            ProfileQuery(profile, locale) +
            "\">\n"
            "<p><label for=\"deletepassword\">Current password</label><input "
            "id=\"deletepassword\" name=\"password\" type=\"password\" maxlength=\"15\"></p>\n"
            "<p><label><input name=\"confirm\" type=\"checkbox\" value=\"1\"> Yes, delete "
            "the account " +
            EscapeHtml(profile.nick) +
            " and everything kept about it</label></p>\n"
            "<p><input type=\"submit\" value=\"Delete my account\"></p>\n</form>";
    return HtmlDocument("Navlet - modify profile", body, TPageFrame::Full);
}

std::string ProfileUpdatedPage(const TProfile& profile, int locale) {
    std::string body =
        "<h1>Profile saved</h1>\n<p>Gender: " + std::string(GenderName(profile.gender)) +
        "<br>Language: " + std::string(LanguageName(profile.language)) +
        "</p>\n<p><a href=\"/viewprofile.asp?" + ProfileQuery(profile, locale) +
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
