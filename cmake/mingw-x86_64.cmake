# 64-bit Windows: the same sources, for running the Windows tests where Wine cannot start 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CORVIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CORVIX_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
