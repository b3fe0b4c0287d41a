# The build machine's JSON library version; header-only, so it fits any
# target's pointer size.
include(/usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake)
