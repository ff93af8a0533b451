// The pages of the service's web site as plain strings: no HTTP here, so each
// page can be checked on its own. Every user-supplied text is escaped inside.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/web/web_backend.h"

namespace navlet::web {

// What a sign-up or update form held, to show it again after a refusal.
struct TFormValues {
    std::string nick;
    char gender = 'x';
    int language = 0;
};

std::string HomePage(const std::vector<TSiteLoad>& busiest, const TServerHealth& health);
// The plain-text status for monitors and load balancers.
std::string StatusText(const TServerHealth& health);
std::string HelpPage();
// A PNG screenshot of the browser with the bar at its foot, for the guide;
// empty when the build had none.
std::string_view BarScreenshotPng();
inline constexpr std::string_view BAR_SCREENSHOT_PATH = "/images/bar.png";
// The same bar in a browser's side panel (300 x 600); empty when the build had none.
std::string_view PanelScreenshotPng();
inline constexpr std::string_view PANEL_SCREENSHOT_PATH = "/images/panel.png";

// Why the last attempt was refused (plain text; empty at first), and the
// field it is about ("nick", "password", "gender", "language",
// "newpassword"), or none when it is about the whole form.
struct TFormProblem {
    std::string text;
    std::string field;
    TFormProblem() = default;
    TFormProblem(std::string text, std::string field = {})
        : text(std::move(text)), field(std::move(field)) {}
    TFormProblem(std::string_view text) : text(text) {}
    TFormProblem(const char* text) : text(text) {}
};

std::string SignUpPage(const TFormValues& values, const TFormProblem& problem);
std::string SignedUpPage(const TProfile& profile);

// The profile as the bar shows it in its banner area (290 x 114, no input);
// its link opens the profile's page in a new tab.
std::string ProfilePage(const TProfile& profile, int locale);
// What the signed-in owner's profile page shows besides the profile: the
// people the account ignores or blocks, each with its undo form.
struct TOwnerPart {
    std::optional<std::vector<TMarkedPerson>> marked; // nothing: the database did not answer
    std::string formToken;                            // each undo form carries it
    // A refused undo, next to the person's button (field "unmark-ID").
    TFormProblem problem;
    std::string done; // what the last undo did
};
// The profile as a page of the site; to the signed-in owner (`owner` set)
// it offers "modify" and the owner's part.
std::string ProfileSitePage(const TProfile& profile, int locale, const TOwnerPart* owner);
// The owner's form: the profile's fields, and "delete my account" below.
std::string UpdateProfilePage(const TProfile& profile, int locale, const TFormProblem& problem);
std::string ProfileUpdatedPage(const TProfile& profile, int locale);

// The privacy policy: what is sent, kept and shown, and how to delete an account.
std::string PrivacyPage();
// The account is gone: what went with it.
std::string AccountDeletedPage(std::string_view nick);

// An error page for a status code, with a plain-text explanation.
std::string ErrorPage(int status, std::string_view message);

} // namespace navlet::web
