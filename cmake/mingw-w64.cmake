# The Windows builds with Debian's mingw-w64 cross compiler (POSIX thread model), for the processor
# the including toolchain file names in VANTREO_MINGW_PROCESSOR (i686 or x86_64). Everything is
# linked statically, so the plug-ins and the programs need no DLLs but Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VANTREO_MINGW_PROCESSOR})
set(triplet ${VANTREO_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_OBJDUMP ${triplet}-objdump CACHE FILEPATH "objdump for the Windows binaries")

# Windows 7 is the oldest system the build targets; the same for Boost's library and its users.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Libraries and packages come only from the cross compiler's own tree and from the third-party prefix
# that `scripts/windows-deps.sh PROCESSOR` builds (Boost.Thread, zlib, libpng, GoogleTest):
# build/deps/prefix for i686, build/deps/prefix-x86_64 for x86_64.
if(NOT VANTREO_WINDOWS_DEPS)
  if(VANTREO_MINGW_PROCESSOR STREQUAL "i686")
    set(prefix prefix)
  else()
    set(prefix prefix-${VANTREO_MINGW_PROCESSOR})
  endif()
  get_filename_component(VANTREO_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build/deps/${prefix}" ABSOLUTE)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${triplet} "${VANTREO_WINDOWS_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTREO_WINDOWS_DEPS)

# ctest runs the Windows programs under wine (scripts/wine-run.sh picks wine64 for a 64-bit program).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
