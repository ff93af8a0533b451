# Cross build of the Windows module with mingw-w64 (x86_64); its tests run
# under wine64.
set(NAVLET_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
