# The header-only JSON library for a cross build: the build machine's
# headers, staged in a folder of their own so that the build machine's C
# library headers (beside them) stay out of the target's include path. The
# build machine's prefix is the one CMake itself runs from.
if(NOT TARGET nlohmann_json::nlohmann_json)
  get_filename_component(_kestrl_host_prefix ${CMAKE_ROOT}/../.. ABSOLUTE)
  find_path(KESTRL_HOST_JSON_INCLUDE nlohmann/json.hpp PATHS ${_kestrl_host_prefix}/include
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT KESTRL_HOST_JSON_INCLUDE)
    set(nlohmann_json_FOUND FALSE)
    set(nlohmann_json_NOT_FOUND_MESSAGE "nlohmann/json.hpp not found (Debian nlohmann-json3-dev)")
    return()
  endif()
  set(_kestrl_json_stage ${CMAKE_BINARY_DIR}/host-json)
  file(MAKE_DIRECTORY ${_kestrl_json_stage})
  file(CREATE_LINK ${KESTRL_HOST_JSON_INCLUDE}/nlohmann ${_kestrl_json_stage}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_kestrl_json_stage})
endif()
