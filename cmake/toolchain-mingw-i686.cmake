# 32-bit Windows with Debian's mingw-w64 cross compilers. Nothing runs: the
# build machine has no 32-bit Windows loader; the DLL's export table is
# checked from the file.
set(KESTRL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/cross/mingw.cmake)
