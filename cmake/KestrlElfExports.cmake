# The ELF shared library: a version script keeps the dynamic symbol table to
# the entry points of the resolver's table in exports.cpp and the resolver.
# Hidden visibility alone leaves out-of-line instantiations of standard
# library templates exported (unoptimised builds make many), which callers
# must never bind to.
set(_exports_source ${PROJECT_SOURCE_DIR}/src/api/exports.cpp)
file(STRINGS ${_exports_source} _entries REGEX "{\"[A-Za-z]+\", \"_A_[A-Za-z]+@[0-9]+\"")
set(_script "{\n  global:\n")
foreach(_line ${_entries})
  string(REGEX MATCH "{\"([A-Za-z]+)\"" _ ${_line})
  string(APPEND _script "    ${CMAKE_MATCH_1};\n")
endforeach()
string(APPEND _script "    Kestrl30ProcAddress;\n  local: *;\n};\n")
set(KESTRL_VERSION_SCRIPT ${PROJECT_BINARY_DIR}/kestrl30.map)
file(CONFIGURE OUTPUT ${KESTRL_VERSION_SCRIPT} CONTENT "${_script}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_exports_source})
target_link_options(kestrl30 PRIVATE "LINKER:--version-script=${KESTRL_VERSION_SCRIPT}")
set_property(TARGET kestrl30 APPEND PROPERTY LINK_DEPENDS ${KESTRL_VERSION_SCRIPT})
