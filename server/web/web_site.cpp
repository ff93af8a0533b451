#include "server/web/web_site.h"

#include <algorithm>
#include <charconv>
#include <chrono>

#include "server/log/counters.h"
#include "server/log/refusals.h"
#include "server/web/account_rules.h"
#include "server/web/html.h"
#include "server/web/pages.h"

namespace navlet::web {
namespace {

namespace log = navlet::server::log;

constexpr const char* HTML = "text/html; charset=utf-8";
constexpr std::string_view BUSY = "The site is busy and nothing was saved. Please try again.";
constexpr std::string_view UNAVAILABLE =
    "The service is briefly unavailable and nothing was saved. Please try again in a minute.";

// A refusal of the password slow-down, with the seconds to wait.
void TooManyAttempts(THttpResponse& res, int64_t seconds, const TProfile& shown, int locale) {
    seconds = std::max<int64_t>(seconds, 1);
    res.headers.emplace_back("Retry-After", std::to_string(seconds));
    res.status = 429;
    res.contentType = HTML;
    res.body = UpdateProfilePage(
        shown, locale, "too many attempts, try again in " + std::to_string(seconds) + " seconds");
}

// A profile form (change or deletion) the backend refused: `passwordField`
// is where a wrong password is said, `notDone` what an invalid form did not do.
struct TFormRefusal {
    std::string_view passwordField;
    std::string_view notDone;
};
void AnswerRefused(THttpResponse& res, const TUpdateOutcome& outcome, const TProfile& shown,
                   int locale, TFormRefusal form) {
    int status = 503;
    TFormProblem problem;
    switch (outcome.result) {
    case TUpdateResult::Updated:
        return;
    case TUpdateResult::TooManyAttempts:
        TooManyAttempts(res, outcome.retryAfterSeconds, shown, locale);
        return;
    case TUpdateResult::NoSuchUser:
        res.status = 404;
        res.contentType = HTML;
        res.body = ErrorPage(404, "There is no such user.");
        return;
    case TUpdateResult::WrongPassword:
        status = 403;
        problem = {"The current password is not right.", std::string(form.passwordField)};
        break;
    case TUpdateResult::Invalid:
        status = 400;
        problem = form.notDone;
        break;
    case TUpdateResult::Busy:
        problem = BUSY;
        break;
    case TUpdateResult::Unavailable:
        res.headers.emplace_back("Retry-After", "60");
        problem = UNAVAILABLE;
        break;
    }
    res.status = status;
    res.contentType = HTML;
    res.body = UpdateProfilePage(shown, locale, problem);
}

// The bar sends the low 10 bits of its locale id; anything in 16 bits is accepted.
constexpr int MAX_LOCALE = 0xFFFF;

template <typename T> std::optional<T> ParseDecimal(std::string_view text) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

void Answer(THttpResponse& res, int status, std::string page) {
    res.status = status;
    res.contentType = HTML;
    res.body = std::move(page);
}

void Fail(THttpResponse& res, int status, std::string_view message) {
    Answer(res, status, ErrorPage(status, message));
}

} // namespace

namespace {

struct TProfileAddress {
    UserId id = 0;
    int locale = 0;
};

// idUtente is required; idLocale may be missing (0) but not malformed.
std::optional<TProfileAddress> ReadProfileAddress(const THttpRequest& req, THttpResponse& res) {
    auto id = ParseDecimal<uint64_t>(FieldValue(req.fields, "idUtente"));
    if (!id) {
        Fail(res, 400, "The address names no user.");
        return std::nullopt;
    }
    TProfileAddress address{*id, 0};
    if (!HasField(req.fields, "idLocale"))
        return address;
    auto locale = ParseDecimal<int>(FieldValue(req.fields, "idLocale"));
    if (!locale || *locale < 0 || *locale > MAX_LOCALE) {
        Fail(res, 400, "The address holds an unknown locale.");
        return std::nullopt;
    }
    address.locale = *locale;
    return address;
}

// What the form says about a field that failed its check, one text a way.
struct TFieldProblems {
    const char* empty;
    const char* tooLong;
    const char* badCharacter;
};

std::string FieldProblem(TFieldCheck check, const TFieldProblems& texts) {
    switch (check) {
    case TFieldCheck::Ok:
        return {};
    case TFieldCheck::Empty:
        return texts.empty;
    case TFieldCheck::TooLong:
        return texts.tooLong;
    case TFieldCheck::BadCharacter:
        return texts.badCharacter;
    }
    return {};
}

std::string NickProblem(TFieldCheck check) {
    return FieldProblem(check,
                        {"Please choose a nickname.", "A nickname has at most 15 characters.",
                         "A nickname may hold only the letters A to Z, digits and the marks "
                         "_ - . (no blanks, no accented letters)."});
}

std::string PasswordProblem(TFieldCheck check) {
    return FieldProblem(
        check, {"Please choose a password.", "A password has at most 15 characters.",
                "A password may hold only letters, digits, punctuation marks and inner blanks."});
}

// Gender and language as the form sent them; a problem when either is missing or wrong.
TFormProblem ReadChoices(const THttpRequest& req, char& gender, int& language) {
    auto g = ParseGender(FieldValue(req.fields, "gender"));
    auto l = ParseLanguage(FieldValue(req.fields, "language"));
    if (g)
        gender = *g;
    if (l)
        language = *l;
    if (!g)
        return {"Please choose a gender.", "gender"};
    if (!l)
        return {"Please choose a language.", "language"};
    return {};
}

} // namespace

std::optional<TWebSite::TAddressedProfile> TWebSite::ReadProfile(const THttpRequest& req,
                                                                 THttpResponse& res) {
    auto address = ReadProfileAddress(req, res);
    if (!address)
        return std::nullopt;
    auto profile = backend.FindProfile(address->id);
    if (profile)
        return TAddressedProfile{std::move(*profile), address->locale};
    // None there, or the database did not answer.
    if (!backend.LastCallUnavailable()) {
        Fail(res, 404, "There is no such user.");
        return std::nullopt;
    }
    res.headers.emplace_back("Retry-After", "60");
    Fail(res, 503, "The service is briefly unavailable. Please try again in a minute.");
    return std::nullopt;
}

namespace {

// Sign-ups refused, a flood from one address summarised (TRefusalLog).
void LogSignUpRefused(const THttpRequest& req, std::string_view nick, std::string_view reason,
                      log::TLevel level = log::TLevel::Info) {
    navlet::server::counters::SignUp(reason);
    if (log::NoteRefusal(level, "web", "sign-ups refused", req.remoteAddress))
        log::Write(level, "web", "sign-up refused",
                   {{"nick", nick}, {"reason", reason}, {"address", req.remoteAddress}});
}

} // namespace

void TWebSite::HandleSignUp(const THttpRequest& req, THttpResponse& res) {
    TFormValues values;
    values.nick = FieldValue(req.fields, "nick");
    std::string password = FieldValue(req.fields, "password");
    TFormProblem problem{NickProblem(CheckNick(values.nick)), "nick"};
    if (problem.text.empty())
        problem = {PasswordProblem(CheckNewPassword(password)), "password"};
    TFormProblem choiceProblem = ReadChoices(req, values.gender, values.language);
    if (problem.text.empty())
        problem = choiceProblem;
    if (backend.AddressBarred(req.remoteAddress)) {
        LogSignUpRefused(req, values.nick, "banned");
        Answer(res, 403,
               SignUpPage(values, TFormProblem{"Sign-ups from your address are closed."}));
        return;
    }
    if (!problem.text.empty()) {
        LogSignUpRefused(req, values.nick, "invalid-form");
        Answer(res, 400, SignUpPage(values, problem));
        return;
    }
    // Counted only once the form is right: a typo costs no allowance.
    auto wait = signUps.Take(req.remoteAddress, TSignUpLimit::TClock::now());
    if (wait.count() > 0) {
        auto seconds = std::max<int64_t>(1, std::chrono::ceil<std::chrono::seconds>(wait).count());
        res.headers.emplace_back("Retry-After", std::to_string(seconds));
        LogSignUpRefused(req, values.nick, "too-many-sign-ups");
        Answer(res, 429,
               SignUpPage(values, "too many sign-ups, try again in " + std::to_string(seconds) +
                                      " seconds"));
        return;
    }
    TCreateOutcome outcome =
        backend.CreateAccount({values.nick, password, values.gender, values.language});
    switch (outcome.result) {
    case TCreateResult::Created:
        navlet::server::counters::SignUp("made");
        log::Info("web", "sign-up made",
                  {{"nick", values.nick}, {"account", outcome.id}, {"address", req.remoteAddress}});
        SignInOwner(outcome.id, res);
        Answer(res, 200, SignedUpPage({outcome.id, values.nick, values.gender, values.language}));
        return;
    case TCreateResult::NickTaken:
        LogSignUpRefused(req, values.nick, "nick-taken");
        Answer(res, 409,
               SignUpPage(values, {"The nickname " + values.nick +
                                       " is already taken. Please choose another one.",
                                   "nick"}));
        return;
    case TCreateResult::Invalid:
        LogSignUpRefused(req, values.nick, "invalid");
        Answer(res, 400, SignUpPage(values, "This account cannot be created."));
        return;
    case TCreateResult::Busy:
        LogSignUpRefused(req, values.nick, "stopping");
        Answer(res, 503, SignUpPage(values, BUSY));
        return;
    case TCreateResult::Unavailable:
        LogSignUpRefused(req, values.nick, "database-unavailable", log::TLevel::Warn);
        res.headers.emplace_back("Retry-After", "60");
        Answer(res, 503, SignUpPage(values, UNAVAILABLE));
        return;
    }
}

// The bar opens the bare address in its banner area, which takes no input, so
// only the site's own full-page view ("view=page") offers the owner "modify".
void TWebSite::HandleViewProfile(const THttpRequest& req, THttpResponse& res) {
    auto found = ReadProfile(req, res);
    if (!found)
        return;
    if (FieldValue(req.fields, "view") != "page") {
        Answer(res, 200, ProfilePage(found->profile, found->locale));
        return;
    }
    auto owner = owners.Session(req.Header("cookie"), TOwnerSessions::TClock::now());
    if (!owner || owner->user != found->profile.id) {
        Answer(res, 200, ProfileSitePage(found->profile, found->locale, nullptr));
        return;
    }
    TOwnerPart part{backend.MarkedPeople(owner->user), owner->formToken, {}, {}};
    Answer(res, 200, ProfileSitePage(found->profile, found->locale, &part));
}

namespace {

// A form of the owner's page came from a page of this site: the browser
// names the page's origin, and a page of another site cannot read the token.
bool SameSiteForm(const THttpRequest& req, std::string_view token, std::string_view expected) {
    std::string_view origin = req.Header("origin");
    if (!origin.empty() && origin != "null") {
        size_t scheme = origin.find("://");
        if (scheme == std::string_view::npos || origin.substr(scheme + 3) != req.Header("host"))
            return false;
    }
    return SameToken(token, expected);
}

std::optional<TMarkKind> ParseMarkKind(std::string_view text) {
    if (text == "ignore")
        return TMarkKind::Ignored;
    if (text == "block")
        return TMarkKind::Blocked;
    return std::nullopt;
}

} // namespace

// "Stop ignoring" and "Unblock" on the owner's page: only the signed-in
// owner, only from the page's own forms, only the owner's own marks.
void TWebSite::HandleUnmark(const THttpRequest& req, THttpResponse& res) {
    auto found = ReadProfile(req, res);
    if (!found)
        return;
    auto owner = owners.Session(req.Header("cookie"), TOwnerSessions::TClock::now());
    if (!owner || owner->user != found->profile.id) {
        Fail(res, 403, "Please sign in on this site again: open your profile from the bar.");
        return;
    }
    if (!SameSiteForm(req, FieldValue(req.fields, "token"), owner->formToken)) {
        Fail(res, 403,
             "This form came from another page. Please use the button on your profile "
             "page.");
        return;
    }
    TOwnerPart part{std::nullopt, owner->formToken, {}, {}};
    auto other = ParseDecimal<uint64_t>(FieldValue(req.fields, "user"));
    auto kind = ParseMarkKind(FieldValue(req.fields, "mark"));
    int status = 200;
    if (!other || !kind) {
        status = 400;
        part.problem = "The form names nobody to undo.";
    } else {
        const std::string field = "unmark-" + std::to_string(*other);
        switch (backend.Unmark(owner->user, *other, *kind)) {
        case TUnmarkResult::Done:
            part.done = *kind == TMarkKind::Blocked ? "Unblocked." : "No longer ignored.";
            break;
        case TUnmarkResult::NotMarked:
            status = 409;
            part.problem = {*kind == TMarkKind::Blocked ? "You do not block this user."
                                                        : "You do not ignore this user.",
                            field};
            break;
        case TUnmarkResult::Unavailable:
            status = 503;
            res.headers.emplace_back("Retry-After", "60");
            part.problem = {std::string(UNAVAILABLE), field};
            break;
        }
    }
    part.marked = backend.MarkedPeople(owner->user);
    Answer(res, status, ProfileSitePage(found->profile, found->locale, &part));
}

void TWebSite::HandleUpdateForm(const THttpRequest& req, THttpResponse& res) {
    auto found = ReadProfile(req, res);
    if (!found)
        return;
    Answer(res, 200, UpdateProfilePage(found->profile, found->locale, {}));
}

void TWebSite::HandleUpdate(const THttpRequest& req, THttpResponse& res) {
    auto found = ReadProfile(req, res);
    if (!found)
        return;
    TProfile shown = found->profile;
    TProfileChange change;
    TFormProblem problem = ReadChoices(req, change.gender, change.language);
    shown.gender = change.gender;
    shown.language = change.language;
    change.newPassword = FieldValue(req.fields, "newpassword");
    if (problem.text.empty() && !change.newPassword.empty())
        problem = {PasswordProblem(CheckNewPassword(change.newPassword)), "newpassword"};
    if (!problem.text.empty()) {
        Answer(res, 400, UpdateProfilePage(shown, found->locale, problem));
        return;
    }
    // The backend checks the password behind the service's one slow-down of
    // guessing, which the bar's sign-ins count with.
    std::string password = FieldValue(req.fields, "password");
    TUpdateOutcome outcome =
        backend.UpdateProfile(found->profile.id, password, req.remoteAddress, change);
    if (outcome.result != TUpdateResult::Updated) {
        AnswerRefused(res, outcome, shown, found->locale,
                      {"password", "The profile was not saved."});
        return;
    }
    if (!change.newPassword.empty())
        owners.SignOutEverywhere(found->profile.id);
    SignInOwner(found->profile.id, res);
    Answer(res, 200, ProfileUpdatedPage(shown, found->locale));
}

void TWebSite::HandleDelete(const THttpRequest& req, THttpResponse& res) {
    auto found = ReadProfile(req, res);
    if (!found)
        return;
    const TProfile& shown = found->profile;
    if (FieldValue(req.fields, "confirm") != "1") {
        Answer(res, 400,
               UpdateProfilePage(shown, found->locale,
                                 {"Tick the box to confirm that the account is to be deleted.",
                                  "deletepassword"}));
        return;
    }
    TUpdateOutcome outcome =
        backend.DeleteAccount(shown.id, FieldValue(req.fields, "password"), req.remoteAddress);
    if (outcome.result != TUpdateResult::Updated) {
        AnswerRefused(res, outcome, shown, found->locale,
                      {"deletepassword", "The account was not deleted."});
        return;
    }
    owners.SignOutEverywhere(shown.id);
    Answer(res, 200, AccountDeletedPage(shown.nick));
}

// Banner files are the operator's whole pages and go out as they are; their
// own markup says their character set.
void TWebSite::HandleBanner(const THttpRequest& req, THttpResponse& res) {
    auto id = ParseDecimal<int32_t>(FieldValue(req.fields, "idBanner"));
    if (!id) {
        Fail(res, 400, "The address names no banner.");
        return;
    }
    auto page = backend.BannerBody(*id);
    if (!page) {
        Fail(res, 404, "There is no such banner.");
        return;
    }
    res.status = 200;
    res.contentType = "text/html";
    res.body = std::move(*page);
}

void TWebSite::SignInOwner(UserId user, THttpResponse& res) {
    std::string token = owners.SignIn(user, TOwnerSessions::TClock::now());
    if (!token.empty())
        res.headers.emplace_back("Set-Cookie", owners.CookieFor(token));
}

TWebSite::TWebSite(TWebBackend& backend, TWebSiteLimits limits)
    : backend(backend), limits(limits), signUps(limits.signUps),
      http(std::make_unique<THttpServer>(limits.http)) {
    AddRoutes();
}

void TWebSite::SetLimits(const TWebSiteLimits& next) {
    signUps.SetRules(next.signUps);
    http->SetAddressLimits(next.http.maxPerAddress, next.http.trustedProxies);
}

TWebSite::~TWebSite() {
    Stop();
}

void TWebSite::AddRoutes() {
    http->Route("GET", "/", [this](const THttpRequest&, THttpResponse& res) {
        Answer(res, 200, HomePage(backend.BusiestSites(limits.busiestShown), backend.Health()));
    });
    // Always 200: a node without Redis still serves its users, and a balancer
    // that dropped every node while Redis is away would serve nobody.
    http->Route("GET", "/status", [this](const THttpRequest&, THttpResponse& res) {
        res.status = 200;
        res.contentType = "text/plain";
        res.body = StatusText(backend.Health());
    });
    http->Route("GET", std::string(STYLESHEET_PATH), [](const THttpRequest&, THttpResponse& res) {
        res.status = 200;
        res.contentType = "text/css; charset=utf-8";
        res.headers.emplace_back("Cache-Control", "max-age=3600");
        res.body = std::string(SiteStylesheet());
    });
    http->Route("GET", "/help.asp",
                [](const THttpRequest&, THttpResponse& res) { Answer(res, 200, HelpPage()); });
    // The picture is copied out of the pair: clang takes no structured binding into a lambda.
    for (const auto& shot : {std::pair{BAR_SCREENSHOT_PATH, BarScreenshotPng()},
                             std::pair{PANEL_SCREENSHOT_PATH, PanelScreenshotPng()}})
        http->Route("GET", std::string(shot.first),
                    [png = shot.second](const THttpRequest&, THttpResponse& res) {
                        if (png.empty()) {
                            Fail(res, 404, "There is no such page.");
                            return;
                        }
                        res.contentType = "image/png";
                        res.body = std::string(png);
                    });
    http->Route("GET", "/newuser.asp", [](const THttpRequest&, THttpResponse& res) {
        Answer(res, 200, SignUpPage({}, {}));
    });
    // Both forms hash a password: they run on the site's hashing pool.
    http->Route(
        "POST", "/newuser.asp",
        [this](const THttpRequest& req, THttpResponse& res) { HandleSignUp(req, res); },
        THttpWork::Hashing);
    http->Route("GET", "/viewprofile.asp", [this](const THttpRequest& req, THttpResponse& res) {
        HandleViewProfile(req, res);
    });
    http->Route("GET", "/updateprofile.asp", [this](const THttpRequest& req, THttpResponse& res) {
        HandleUpdateForm(req, res);
    });
    http->Route(
        "POST", "/updateprofile.asp",
        [this](const THttpRequest& req, THttpResponse& res) { HandleUpdate(req, res); },
        THttpWork::Hashing);
    http->Route(
        "POST", "/deleteaccount.asp",
        [this](const THttpRequest& req, THttpResponse& res) { HandleDelete(req, res); },
        THttpWork::Hashing);
    http->Route("POST", "/unmark.asp",
                [this](const THttpRequest& req, THttpResponse& res) { HandleUnmark(req, res); });
    http->Route("GET", "/privacy.asp",
                [](const THttpRequest&, THttpResponse& res) { Answer(res, 200, PrivacyPage()); });
    http->Route("GET", "/banner.asp",
                [this](const THttpRequest& req, THttpResponse& res) { HandleBanner(req, res); });
    // Unknown paths and refused requests get a page too, not an empty body.
    http->SetErrorPage([](int status) {
        switch (status) {
        case 404:
            return ErrorPage(status, "There is no such page.");
        case 413:
        case 431:
            return ErrorPage(status, "The request is too large.");
        case 429:
        case 503:
            return ErrorPage(status, "The site is busy. Please try again later.");
        case 500:
            return ErrorPage(status, "The site could not answer. Please try again later.");
        default:
            return ErrorPage(status, "The site cannot answer this request.");
        }
    });
}

void TWebSite::RouteUpgrade(const std::string& path, THttpUpgrade upgrade) {
    http->RouteUpgrade(path, std::move(upgrade));
}

bool TWebSite::Start(const std::string& host, int wanted, std::string& error) {
    return http->Start(host, wanted, error);
}

int TWebSite::Port() const {
    return http->Port();
}

void TWebSite::Stop() {
    http->Stop();
}

} // namespace navlet::web
