# The Windows DLL: named kestrl30.dll, exporting each entry point
# (src/api/entry_points.inc) under its plain name and its decorated alias
# (_A_<name>@<argument bytes>), plus the resolver. On 32-bit x86 the entry
# points are stdcall, whose object-file names carry the same @<bytes> suffix.
include(${CMAKE_CURRENT_LIST_DIR}/KestrlEntryPoints.cmake)
set(_def "EXPORTS\n")
foreach(_name _bytes IN ZIP_LISTS KESTRL_ENTRY_NAMES KESTRL_ENTRY_BYTES)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(_symbol ${_name}@${_bytes})
  else()
    set(_symbol ${_name})
  endif()
  string(APPEND _def "  ${_name} = ${_symbol}\n  _A_${_name}@${_bytes} = ${_symbol}\n")
endforeach()
string(APPEND _def "  Kestrl30ProcAddress\n")
set(KESTRL_DEF_FILE ${PROJECT_BINARY_DIR}/kestrl30.def)
file(CONFIGURE OUTPUT ${KESTRL_DEF_FILE} CONTENT "${_def}")

target_sources(kestrl30 PRIVATE ${KESTRL_DEF_FILE})
set_target_properties(kestrl30 PROPERTIES PREFIX "" RUNTIME_OUTPUT_NAME kestrl30)
