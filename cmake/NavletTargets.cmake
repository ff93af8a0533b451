# Warnings are errors in our own targets.
function(navlet_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
      -Wno-error=deprecated-declarations)
    # GCC 12 reports std::string appends at -O3 as overlapping copies (its
    # bug 105329); the code is fine and the warning cannot be worked around.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
  endif()
endfunction()

# A library of ours: sources, warnings, include root at the repository top.
function(navlet_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PUBLIC_LIBS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} PUBLIC ${ARG_PUBLIC_LIBS})
  navlet_warnings(${target})
endfunction()
