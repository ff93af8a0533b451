#include "server/web/web_site.h"

#include <httplib.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

#include "server/web/account_rules.h"
#include "server/web/pages.h"

namespace navlet::web {
namespace {

constexpr const char* HTML = "text/html; charset=utf-8";

// The bar sends the low 10 bits of its locale id; anything in 16 bits is accepted.
constexpr int MAX_LOCALE = 0xFFFF;

template <typename T> std::optional<T> ParseDecimal(std::string_view text) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

void Answer(httplib::Response& res, int status, std::string page) {
    res.status = status;
    res.set_content(std::move(page), HTML);
}

void Fail(httplib::Response& res, int status, std::string_view message) {
    Answer(res, status, ErrorPage(status, message));
}

struct TProfileAddress {
    UserId id = 0;
    int locale = 0;
};

// idUtente is required; idLocale may be missing (0) but not malformed.
std::optional<TProfileAddress> ReadProfileAddress(const httplib::Request& req,
                                                  httplib::Response& res) {
    auto id = ParseDecimal<uint64_t>(req.get_param_value("idUtente"));
    if (!id) {
        Fail(res, 400, "The address names no user.");
        return std::nullopt;
    }
    TProfileAddress address{*id, 0};
    if (!req.has_param("idLocale"))
        return address;
    auto locale = ParseDecimal<int>(req.get_param_value("idLocale"));
    if (!locale || *locale < 0 || *locale > MAX_LOCALE) {
        Fail(res, 400, "The address holds an unknown locale.");
        return std::nullopt;
    }
    address.locale = *locale;
    return address;
}

std::string NickProblem(TFieldCheck check) {
    switch (check) {
    case TFieldCheck::Ok:
        return {};
    case TFieldCheck::Empty:
        return "Please choose a nickname.";
    case TFieldCheck::TooLong:
        return "A nickname has at most 15 characters.";
    case TFieldCheck::BadCharacter:
        return "A nickname may hold only the letters A to Z, digits and the marks _ - . "
               "(no blanks, no accented letters).";
    }
    return {};
}

std::string PasswordProblem(TFieldCheck check) {
    switch (check) {
    case TFieldCheck::Ok:
        return {};
    case TFieldCheck::Empty:
        return "Please choose a password.";
    case TFieldCheck::TooLong:
        return "A password has at most 15 characters.";
    case TFieldCheck::BadCharacter:
        return "A password may hold only letters, digits, punctuation marks and inner blanks.";
    }
    return {};
}

// Gender and language as the form sent them; a message when either is missing or wrong.
std::string ReadChoices(const httplib::Request& req, char& gender, int& language) {
    auto g = ParseGender(req.get_param_value("gender"));
    auto l = ParseLanguage(req.get_param_value("language"));
    if (g)
        gender = *g;
    if (l)
        language = *l;
    if (!g)
        return "Please choose a gender.";
    if (!l)
        return "Please choose a language.";
    return {};
}

void HandleSignUp(TWebBackend& backend, const httplib::Request& req, httplib::Response& res) {
    TFormValues values;
    values.nick = req.get_param_value("nick");
    std::string password = req.get_param_value("password");
    std::string problem = NickProblem(CheckNick(values.nick));
    if (problem.empty())
        problem = PasswordProblem(CheckPassword(password));
    std::string choiceProblem = ReadChoices(req, values.gender, values.language);
    if (problem.empty())
        problem = choiceProblem;
    if (!problem.empty()) {
        Answer(res, 400, SignUpPage(values, problem));
        return;
    }
    TCreateOutcome outcome =
        backend.CreateAccount({values.nick, password, values.gender, values.language});
    switch (outcome.result) {
    case TCreateResult::Created:
        Answer(res, 200, SignedUpPage({outcome.id, values.nick, values.gender, values.language}));
        return;
    case TCreateResult::NickTaken:
        Answer(res, 409,
               SignUpPage(values, "The nickname " + values.nick +
                                      " is already taken. Please choose another one."));
        return;
    case TCreateResult::Invalid:
        Answer(res, 400, SignUpPage(values, "This account cannot be created."));
        return;
    }
}

void HandleViewProfile(TWebBackend& backend, const httplib::Request& req, httplib::Response& res) {
    auto address = ReadProfileAddress(req, res);
    if (!address)
        return;
    auto profile = backend.FindProfile(address->id);
    if (!profile) {
        Fail(res, 404, "There is no such user.");
        return;
    }
    Answer(res, 200, ProfilePage(*profile, address->locale));
}

void HandleUpdateForm(TWebBackend& backend, const httplib::Request& req, httplib::Response& res) {
    auto address = ReadProfileAddress(req, res);
    if (!address)
        return;
    auto profile = backend.FindProfile(address->id);
    if (!profile) {
        Fail(res, 404, "There is no such user.");
        return;
    }
    Answer(res, 200, UpdateProfilePage(*profile, address->locale, {}));
}

void HandleUpdate(TWebBackend& backend, const httplib::Request& req, httplib::Response& res) {
    auto address = ReadProfileAddress(req, res);
    if (!address)
        return;
    auto profile = backend.FindProfile(address->id);
    if (!profile) {
        Fail(res, 404, "There is no such user.");
        return;
    }
    TProfile shown = *profile;
    TProfileChange change;
    std::string problem = ReadChoices(req, change.gender, change.language);
    shown.gender = change.gender;
    shown.language = change.language;
    change.newPassword = req.get_param_value("newpassword");
    if (problem.empty() && !change.newPassword.empty())
        problem = PasswordProblem(CheckPassword(change.newPassword));
    if (!problem.empty()) {
        Answer(res, 400, UpdateProfilePage(shown, address->locale, problem));
        return;
    }
    std::string password = req.get_param_value("password");
    switch (backend.UpdateProfile(address->id, password, change)) {
    case TUpdateResult::Updated:
        Answer(res, 200, ProfileUpdatedPage(shown, address->locale));
        return;
    case TUpdateResult::WrongPassword:
        Answer(res, 403,
               UpdateProfilePage(shown, address->locale, "The current password is not right."));
        return;
    case TUpdateResult::NoSuchUser:
        Fail(res, 404, "There is no such user.");
        return;
    case TUpdateResult::Invalid:
        Answer(res, 400, UpdateProfilePage(shown, address->locale, "The profile was not saved."));
        return;
    }
}

void HandleBanner(TWebBackend& backend, const httplib::Request& req, httplib::Response& res) {
    auto id = ParseDecimal<int32_t>(req.get_param_value("idBanner"));
    if (!id) {
        Fail(res, 400, "The address names no banner.");
        return;
    }
    auto body = backend.BannerBody(*id);
    if (!body) {
        Fail(res, 404, "There is no such banner.");
        return;
    }
    Answer(res, 200, BannerPage(*body));
}

} // namespace

TWebSite::TWebSite(TWebBackend& backend, TWebSiteLimits limits)
    : backend(backend), limits(limits), http(std::make_unique<httplib::Server>()) {
    AddRoutes();
}

TWebSite::~TWebSite() {
    Stop();
}

void TWebSite::AddRoutes() {
    // httplib's default also sets SO_REUSEPORT, which would let a second server
    // share the port unnoticed; a port in use must fail to bind instead.
    http->set_socket_options([](int sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Header and body go out in separate writes; Nagle would hold the body
    // back for the client's delayed acknowledgement.
    http->set_tcp_nodelay(true);
    http->set_payload_max_length(limits.maxBody);
    // Each open connection holds a worker: idle keep-alive connections and slow
    // senders must give theirs back soon, or a few clients would stall the site.
    size_t workers = limits.workers;
    http->new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    http->set_keep_alive_timeout(limits.idleSeconds);
    http->set_read_timeout(5, 0);
    http->set_write_timeout(5, 0);
    http->Get("/", [this](const httplib::Request&, httplib::Response& res) {
        Answer(res, 200, HomePage(backend.BusiestSites(limits.busiestShown)));
    });
    http->Get("/help.asp", [](const httplib::Request&, httplib::Response& res) {
        Answer(res, 200, HelpPage());
    });
    http->Get("/newuser.asp", [](const httplib::Request&, httplib::Response& res) {
        Answer(res, 200, SignUpPage({}, {}));
    });
    http->Post("/newuser.asp", [this](const httplib::Request& req, httplib::Response& res) {
        HandleSignUp(backend, req, res);
    });
    http->Get("/viewprofile.asp", [this](const httplib::Request& req, httplib::Response& res) {
        HandleViewProfile(backend, req, res);
    });
    http->Get("/updateprofile.asp", [this](const httplib::Request& req, httplib::Response& res) {
        HandleUpdateForm(backend, req, res);
    });
    http->Post("/updateprofile.asp", [this](const httplib::Request& req, httplib::Response& res) {
        HandleUpdate(backend, req, res);
    });
    http->Get("/banner.asp", [this](const httplib::Request& req, httplib::Response& res) {
        HandleBanner(backend, req, res);
    });
    // Unknown paths and refused requests get a page too, not an empty body.
    http->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            Answer(res, res.status, ErrorPage(res.status, "There is no such page."));
    });
    http->set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            Fail(res, 500, "The site could not answer. Please try again later.");
        });
}

bool TWebSite::Start(const std::string& host, int wanted, std::string& error) {
    if (serving.joinable()) {
        error = "the web site is already running";
        return false;
    }
    errno = 0;
    if (wanted == 0) {
        port = http->bind_to_any_port(host);
    } else {
        port = http->bind_to_port(host, wanted) ? wanted : -1;
    }
    if (port <= 0) {
        error = "cannot listen on " + host + ":" + std::to_string(wanted) +
                (errno ? std::string(": ") + std::strerror(errno) : std::string());
        port = 0;
        return false;
    }
    serving = std::thread([this] { http->listen_after_bind(); });
    // Stop() only reaches a server that has begun listening; wait for that here.
    for (int i = 0; i < 500 && !http->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return true;
}

void TWebSite::Stop() {
    if (!serving.joinable())
        return;
    http->stop();
    serving.join();
}

} // namespace navlet::web
