#include "tools/load/signup.h"

#include <httplib.h>

namespace navlet::load {

bool CreateBotAccounts(const TLoadOptions& options, std::ostream& out) {
    size_t colon = options.web.rfind(':');
    if (colon == std::string::npos) {
        out << "navlet-load: --web must be ADDR:PORT\n";
        return false;
    }
    httplib::Client client(options.web.substr(0, colon), std::stoi(options.web.substr(colon + 1)));
    client.set_keep_alive(true);
    // httplib writes the header and the form apart; without this each sign-up
    // waits for a delayed acknowledgement.
    client.set_tcp_nodelay(true);
    client.set_read_timeout(30);
    int created = 0, present = 0;
    for (int i = 0; i < options.sessions; ++i) {
        httplib::Params form{{"nick", BotNick(options, i)},
                             {"password", options.password},
                             {"gender", i % 2 ? "f" : "m"},
                             {"language", "3"}};
        auto res = client.Post("/newuser.asp", form);
        if (!res) {
            out << "navlet-load: the web site did not answer the sign-up of " << BotNick(options, i)
                << "\n";
            return false;
        }
        if (res->status == 200) {
            ++created;
        } else if (res->status == 409) {
            ++present;
        } else {
            out << "navlet-load: sign-up of " << BotNick(options, i) << " answered " << res->status
                << "\n";
            return false;
        }
    }
    out << "accounts: " << created << " created, " << present << " present already\n";
    return true;
}

} // namespace navlet::load
