#include "version/build_id.h"

namespace navlet {

std::string VersionLine(std::string_view program) {
    std::string line(program);
    line += ' ';
    line += BuildVersion();
    line += " (commit ";
    line += BuildCommit();
    line += ")\n";
    return line;
}

} // namespace navlet
