// navlet-load: a bounded load of protocol bots against navlet-server.
#include <sys/resource.h>

#include <iostream>

#include "tools/load/load_run.h"
#include "tools/load/signup.h"
#include "version/build_id.h"

using namespace navlet::load;

namespace {

// Each bot holds one descriptor; the soft limit is raised as far as the hard one allows.
bool RaiseDescriptorLimit(int sessions) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    rlim_t wanted = rlim_t(sessions) + 64;
    if (limit.rlim_cur >= wanted)
        return true;
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    return limit.rlim_cur >= wanted;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    auto options = ParseLoadOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "navlet-load: " << error << "\n";
        return 2;
    }
    if (options->help) {
        std::cout << LoadUsage();
        return 0;
    }
    if (options->version) {
        std::cout << navlet::VersionLine("navlet-load");
        return 0;
    }
    if (!RaiseDescriptorLimit(options->sessions)) {
        std::cerr << "navlet-load: the descriptor limit (ulimit -n) is too low for "
                  << options->sessions << " sessions\n";
        return 2;
    }
    if (options->createAccounts && !CreateBotAccounts(*options, std::cout))
        return 1;
    if (options->createOnly)
        return 0;
    TLoadRun run(*options);
    return run.Run(std::cout);
}
