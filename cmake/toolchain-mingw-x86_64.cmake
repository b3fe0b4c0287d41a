# 64-bit Windows with Debian's mingw-w64 cross compilers; test programs run
# under wine64.
set(KESTRL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
find_program(KESTRL_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(KESTRL_WINE64 NAMES wine64)
if(KESTRL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTRL_WINE64})
endif()
include(${CMAKE_CURRENT_LIST_DIR}/cross/mingw.cmake)
