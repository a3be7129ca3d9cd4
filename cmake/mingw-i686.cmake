# 32-bit Windows: the program as it ships.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CORVIX_MINGW_TRIPLE i686-w64-mingw32)
set(CORVIX_WINE /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# SSE2, which every processor that runs Windows 8 or later has: the override file's byte scans compare
# sixteen bytes at a time with it, and a byte at a time without. The compiler then realigns the stack
# where a function needs it, so callbacks from code that keeps four-byte alignment stay safe.
set(CMAKE_C_FLAGS_INIT "-msse2")
set(CMAKE_CXX_FLAGS_INIT "-msse2")
