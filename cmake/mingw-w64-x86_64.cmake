# Toolchain for cross-building the Windows program on Linux with mingw-w64 (64-bit). The
# posix thread model's compilers (g++-mingw-w64-x86-64-posix) provide std::mutex, which
# GoogleTest needs on Windows; winpthreads is linked statically like the C++ runtime.
# Programs built with it run under wine for tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw_prefix}-windres)

# Look for libraries and headers only in the mingw-w64 sysroot, never in the host's /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${_mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# add_test commands of Windows executables run through wine.
find_program(TSUGIHAGI_WINE NAMES wine wine64)
if(TSUGIHAGI_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TSUGIHAGI_WINE})
endif()
