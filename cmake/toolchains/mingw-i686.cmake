# Cross build of the Windows module with mingw-w64 (i686).
set(NAVLET_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
