# The ELF shared library: a version script keeps the dynamic symbol table to
# the entry points (src/api/entry_points.inc) and the resolver. Hidden
# visibility alone leaves out-of-line instantiations of standard library
# templates exported (unoptimised builds make many), which callers must
# never bind to.
include(${CMAKE_CURRENT_LIST_DIR}/KestrlEntryPoints.cmake)
set(_script "{\n  global:\n")
foreach(_name ${KESTRL_ENTRY_NAMES})
  string(APPEND _script "    ${_name};\n")
endforeach()
string(APPEND _script "    Kestrl30ProcAddress;\n  local: *;\n};\n")
set(KESTRL_VERSION_SCRIPT ${PROJECT_BINARY_DIR}/kestrl30.map)
file(CONFIGURE OUTPUT ${KESTRL_VERSION_SCRIPT} CONTENT "${_script}")
target_link_options(kestrl30 PRIVATE "LINKER:--version-script=${KESTRL_VERSION_SCRIPT}")
set_property(TARGET kestrl30 APPEND PROPERTY LINK_DEPENDS ${KESTRL_VERSION_SCRIPT})
