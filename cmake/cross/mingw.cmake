# Shared part of the mingw-w64 toolchains; KESTRL_MINGW_TRIPLE names the
# target. The posix-thread compilers provide std::thread and thread_local;
# everything links statically so that a program or the DLL needs no
# compiler runtime DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KESTRL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRL_MINGW_TRIPLE}-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)
# Libraries, headers and packages from the target's root only; programs
# from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KESTRL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
