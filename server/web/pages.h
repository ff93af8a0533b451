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

std::string HomePage(const std::vector<TSiteLoad>& busiest);
std::string HelpPage();

// `message` (plain text) explains why the last attempt was refused; empty at first.
std::string SignUpPage(const TFormValues& values, std::string_view message);
std::string SignedUpPage(const TProfile& profile);

// Profile pages also open in the bar's banner area, hence the banner frame.
std::string ProfilePage(const TProfile& profile, int locale);
std::string UpdateProfilePage(const TProfile& profile, int locale, std::string_view message);
std::string ProfileUpdatedPage(const TProfile& profile, int locale);

// `body` is the operator's HTML, placed as it is.
std::string BannerPage(std::string_view body);

// An error page for a status code, with a plain-text explanation.
std::string ErrorPage(int status, std::string_view message);

} // namespace navlet::web
