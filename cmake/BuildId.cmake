# Writes the commit the build comes from into a C++ source, run as
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=a.b.c.d -P BuildId.cmake
# at configure time and again at every build. The file is rewritten only when
# its text changes, so an unchanged tree rebuilds nothing and two builds of
# one commit are alike: no date, no host, no path goes into it.
#
# The commit is git's short name of HEAD, with "-dirty" when tracked files
# differ from it; "unknown" when SOURCE_DIR is not the top of a git work tree
# (a release tarball, or a copy inside somebody else's repository).
set(commit "unknown")
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --show-toplevel
    OUTPUT_VARIABLE top RESULT_VARIABLE top_failed
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT top_failed)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
  endif()
  if(NOT top_failed AND top STREQUAL source)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
      OUTPUT_VARIABLE head RESULT_VARIABLE head_failed
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT head_failed AND head MATCHES "^[0-9a-f]+$")
      set(commit "${head}")
      execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} status --porcelain
        --untracked-files=no OUTPUT_VARIABLE changes ERROR_QUIET)
      if(NOT changes STREQUAL "")
        string(APPEND commit "-dirty")
      endif()
    endif()
  endif()
endif()
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "// Made by cmake/BuildId.cmake at build time.
#include \"version/build_id.h\"
namespace navlet {
std::string_view BuildVersion() { return \"${VERSION}\"; }
std::string_view BuildCommit() { return \"${commit}\"; }
} // namespace navlet
")
