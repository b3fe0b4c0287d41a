# The Windows DLL: named kestrl30.dll, exporting each entry point under its
# plain name and its decorated alias (_A_<name>@<argument bytes>), plus the
# resolver. The aliases are read from the resolver's table in exports.cpp, so
# the argument byte counts are written once. On 32-bit x86 the entry points
# are stdcall, whose object-file names carry the same @<bytes> suffix.
set(_exports_source ${PROJECT_SOURCE_DIR}/src/api/exports.cpp)
file(STRINGS ${_exports_source} _aliases REGEX "\"_A_[A-Za-z]+@[0-9]+\"")
set(_def "EXPORTS\n")
foreach(_line ${_aliases})
  string(REGEX MATCH "\"_A_([A-Za-z]+)@([0-9]+)\"" _ ${_line})
  set(_name ${CMAKE_MATCH_1})
  set(_bytes ${CMAKE_MATCH_2})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(_symbol ${_name}@${_bytes})
  else()
    set(_symbol ${_name})
  endif()
  string(APPEND _def "  ${_name} = ${_symbol}\n  _A_${_name}@${_bytes} = ${_symbol}\n")
endforeach()
list(LENGTH _aliases _count)
if(_count LESS 8)
  message(FATAL_ERROR "expected at least the eight decorated names in ${_exports_source}, found ${_count}")
endif()
string(APPEND _def "  Kestrl30ProcAddress\n")
set(KESTRL_DEF_FILE ${PROJECT_BINARY_DIR}/kestrl30.def)
file(CONFIGURE OUTPUT ${KESTRL_DEF_FILE} CONTENT "${_def}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_exports_source})

target_sources(kestrl30 PRIVATE ${KESTRL_DEF_FILE})
set_target_properties(kestrl30 PROPERTIES PREFIX "" RUNTIME_OUTPUT_NAME kestrl30)
