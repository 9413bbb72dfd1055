# Cross toolchain: 32-bit Windows with mingw-w64 (posix thread model). This
# builds the release stub; this machine cannot execute 32-bit code, so its
# output is inspected rather than run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BRIVANE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
