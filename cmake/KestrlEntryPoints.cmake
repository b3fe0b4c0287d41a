# Reads the entry points from src/api/entry_points.inc into two lists:
# KESTRL_ENTRY_NAMES (the plain names) and KESTRL_ENTRY_BYTES (the argument
# bytes of each, in the same order). Usable from a project and from a
# script (cmake -P).
set(KESTRL_ENTRY_POINTS_FILE ${CMAKE_CURRENT_LIST_DIR}/../src/api/entry_points.inc)
file(STRINGS ${KESTRL_ENTRY_POINTS_FILE} _kestrl_entries REGEX "^KESTRL_ENTRY_POINT\\(")
set(KESTRL_ENTRY_NAMES "")
set(KESTRL_ENTRY_BYTES "")
foreach(_line ${_kestrl_entries})
  if(NOT _line MATCHES "^KESTRL_ENTRY_POINT\\(([A-Za-z0-9]+), ([0-9]+)\\)$")
    message(FATAL_ERROR "cannot read entry point line '${_line}' of ${KESTRL_ENTRY_POINTS_FILE}")
  endif()
  list(APPEND KESTRL_ENTRY_NAMES ${CMAKE_MATCH_1})
  list(APPEND KESTRL_ENTRY_BYTES ${CMAKE_MATCH_2})
endforeach()
if(NOT KESTRL_ENTRY_NAMES)
  message(FATAL_ERROR "no entry points in ${KESTRL_ENTRY_POINTS_FILE}")
endif()
if(NOT CMAKE_SCRIPT_MODE_FILE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KESTRL_ENTRY_POINTS_FILE})
endif()
