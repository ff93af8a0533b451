// verread: prints one string value of a module's version block, read with the
// bar's own reader (version/version_info.h), so that a build can check the
// module it has just made.
//
//   verread MODULE [NAME]     NAME defaults to FileVersion
//
// Exit code 1 when the module has no such value.
#include <cstdio>
#include <string>

#include "version/version_info.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: verread MODULE [NAME]\n");
        return 2;
    }
    const std::string value =
        navlet::GetVersionString(argv[1], argc == 3 ? argv[2] : "FileVersion");
    if (value.empty())
        return 1;
    std::printf("%s\n", value.c_str());
    return 0;
}
