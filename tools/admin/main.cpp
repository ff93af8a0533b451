// navlet-admin: the operator's client for navlet-server's admin endpoint.
#include <unistd.h>

#include <charconv>
#include <iostream>
#include <string>
#include <vector>

#include "tools/admin/admin_line.h"
#include "tools/admin/admin_session.h"
#include "version/build_id.h"

using namespace navlet::admin;

namespace {

struct TOptions {
    std::string endpoint = "127.0.0.1:8081";
    int timeoutSeconds = 10;
    std::vector<std::string> words;
    bool help = false;
    bool version = false;
};

bool ParseOptions(int argc, char** argv, TOptions& options, std::string& error) {
    int i = 1;
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;
        }
        if (arg == "--version") {
            options.version = true;
            return true;
        }
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg.rfind("--", 0) != 0)
            break;
        if (i + 1 >= argc) {
            error = arg + " needs a value";
            return false;
        }
        std::string value = argv[++i];
        if (arg == "--admin") {
            options.endpoint = value;
        } else if (arg == "--timeout") {
            auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), options.timeoutSeconds);
            if (ec != std::errc() || end != value.data() + value.size() ||
                options.timeoutSeconds < 1 || options.timeoutSeconds > 3600) {
                error = "--timeout takes 1 to 3600 seconds";
                return false;
            }
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    for (; i < argc; ++i)
        options.words.emplace_back(argv[i]);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    TOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::cerr << "navlet-admin: " << error << "\n";
        return EXIT_USAGE;
    }
    if (options.help) {
        std::cout << AdminUsage();
        return EXIT_OK;
    }
    if (options.version) {
        std::cout << navlet::VersionLine("navlet-admin");
        return EXIT_OK;
    }
    auto line = BuildAdminLine(options.words, error);
    if (!line) {
        std::cerr << "navlet-admin: " << error << "\n";
        return EXIT_USAGE;
    }
    int fd = ConnectAdmin(options.endpoint, options.timeoutSeconds, error);
    if (fd < 0) {
        std::cerr << "navlet-admin: " << error << "\n";
        return EXIT_UNREACHABLE;
    }
    int status = Converse(fd, *line, std::cout, std::cerr);
    ::close(fd);
    return status;
}
