# 32-bit Windows with Debian's mingw-w64 cross compilers; test programs run
# under wine's 32-bit loader (Debian wine32:i386).
set(KESTRL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR X86)
find_program(KESTRL_WINE32 NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(KESTRL_WINE32)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTRL_WINE32})
endif()
include(${CMAKE_CURRENT_LIST_DIR}/cross/mingw.cmake)
