// The pages of the service's web site as plain strings: no HTTP here, so each
// page can be checked on its own. Every user-supplied text is escaped inside.
#pragma once

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

// `message` (plain text) explains why the last attempt was refused; empty at first.
std::string SignUpPage(const TFormValues& values, std::string_view message);
std::string SignedUpPage(const TProfile& profile);

// The profile as the bar shows it in its banner area (290 x 114, no input).
std::string ProfilePage(const TProfile& profile, int locale);
// The profile as a page of the site; `isOwner` (the signed-in owner) offers "modify".
std::string ProfileSitePage(const TProfile& profile, int locale, bool isOwner);
// The owner's form: the profile's fields, and "delete my account" below.
std::string UpdateProfilePage(const TProfile& profile, int locale, std::string_view message);
std::string ProfileUpdatedPage(const TProfile& profile, int locale);

// The privacy policy: what is sent, kept and shown, and how to delete an account.
std::string PrivacyPage();
// The account is gone: what went with it.
std::string AccountDeletedPage(std::string_view nick);

// An error page for a status code, with a plain-text explanation.
std::string ErrorPage(int status, std::string_view message);

} // namespace navlet::web
