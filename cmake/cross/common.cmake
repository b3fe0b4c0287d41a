# Shared part of every cross toolchain. KESTRL_CROSS_PREFIX is where
# scripts/cross.sh installs GoogleTest built for the target.
if(KESTRL_CROSS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KESTRL_CROSS_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${KESTRL_CROSS_PREFIX})
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTRL_CROSS_PREFIX)
# The JSON library the resource pack component uses is header-only: the
# build machine's copy serves every target (see cross/nlohmann_json).
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/nlohmann_json CACHE PATH "")
