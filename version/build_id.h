// What a program of ours says it is: the product's version and the commit
// it was built from (cmake/BuildId.cmake writes both at build time).
#pragma once

#include <string>
#include <string_view>

namespace navlet {

// "a.b.c.d", the project's version.
std::string_view BuildVersion();
// Git's short name of the commit, with "-dirty" when tracked files had
// changes; "unknown" for a build outside a git work tree.
std::string_view BuildCommit();
// "PROGRAM VERSION (commit COMMIT)" and a newline: what --version prints.
std::string VersionLine(std::string_view program);

} // namespace navlet
