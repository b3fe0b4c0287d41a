# The build machine's JSON library version, read from the version file it
# installs beside CMake's own prefix; header-only, so it fits any target's
# pointer size.
get_filename_component(_kestrl_host_prefix ${CMAKE_ROOT}/../.. ABSOLUTE)
include(${_kestrl_host_prefix}/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake)
