# 64-bit Windows build: the successor's plug-in and its stand-in host.
set(VANTREO_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
