# The deliverable: 32-bit Windows (i686), Marovex.dll for lane applications.
set(MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
# Callers built with other compilers keep only 4-byte stack alignment; code built here must not
# assume more.
set(CMAKE_C_FLAGS_INIT "-mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-mstackrealign")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# The tests run every program through the script that runs it by hand too (the build's Wine).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/run-windows.sh i686)
