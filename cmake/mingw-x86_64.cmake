# 64-bit Windows (x86_64): the same sources, for running the test programs under a 64-bit Wine on
# hosts that cannot run 32-bit programs.
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Wine's 64-bit loader itself: the wine command prefers the 32-bit one.
find_program(WINE64_PROGRAM NAMES wine64 PATHS /usr/lib/wine /usr/lib/wine-stable)
if(WINE64_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64_PROGRAM})
endif()
