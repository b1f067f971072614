# 32-bit Windows build: the first editor's plug-in, the tool and the test programs.
set(VANTREO_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
