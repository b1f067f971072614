# 32-bit x86 Linux build on a 64-bit Debian host: the system's 32-bit toolchain (g++-multilib) and
# Debian's i386 libraries, unpacked by scripts/i386-root.sh into the folder VANTREO_I386_ROOT names
# (by default build/i386-root).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
# DT_RPATH rather than DT_RUNPATH: the build tree's search path then also serves the unpacked
# libraries' own dependencies (libpng's zlib), which are on no path of the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -Wl,--disable-new-dtags")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32 -Wl,--disable-new-dtags")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32 -Wl,--disable-new-dtags")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
if(NOT VANTREO_I386_ROOT)
  get_filename_component(VANTREO_I386_ROOT "${CMAKE_CURRENT_LIST_DIR}/../build/i386-root" ABSOLUTE)
endif()
set(CMAKE_PREFIX_PATH "${VANTREO_I386_ROOT}/prefix/usr/lib/i386-linux-gnu/cmake" "${VANTREO_I386_ROOT}/prefix/usr")
# Installed too: this build is the tests' own, run on the machine that built it.
set(CMAKE_BUILD_RPATH "${VANTREO_I386_ROOT}/prefix/lib/i386-linux-gnu" "${VANTREO_I386_ROOT}/prefix/usr/lib/i386-linux-gnu")
set(CMAKE_INSTALL_RPATH ${CMAKE_BUILD_RPATH})
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTREO_I386_ROOT)
