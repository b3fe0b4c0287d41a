# Checks that the shared library exports exactly the eight entry points and
# the resolver: from the dynamic symbol table of an ELF library (nm), or from
# the export table of a DLL (objdump -p), which also carries each entry
# point's decorated alias. Also checks that the test seam of the memory
# functions is not built into it at all.
set(plain CmDelete CmGetLut CmNew CmSetResource Halftone HalftoneDelete HalftoneNew
  HalftoneSetResource CmSetResourceSized HalftoneSetResourceSized CmGetAdjustStatus
  Kestrl30ProcAddress)
set(found "")
if(LIBRARY MATCHES "\\.dll$")
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE table RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p failed on ${LIBRARY}")
  endif()
  # Square brackets would confuse CMake's lists: the table's "[   0] Name"
  # lines are matched as "<   0> Name".
  string(REPLACE "[" "<" table "${table}")
  string(REPLACE "]" ">" table "${table}")
  string(REGEX MATCH "<Ordinal/Name Pointer> Table\n([^\n]+\n)+" names "${table}")
  string(REGEX MATCHALL "<[ 0-9]+> [^\n]+" entries "${names}")
  foreach(entry ${entries})
    string(REGEX REPLACE "^<[ 0-9]+> " "" name "${entry}")
    list(APPEND found ${name})
  endforeach()
  list(APPEND expected ${plain} _A_CmNew@20 _A_CmSetResource@12 _A_CmDelete@4 _A_CmGetLut@4
    _A_HalftoneNew@20 _A_HalftoneSetResource@12 _A_Halftone@44 _A_HalftoneDelete@4
    _A_CmSetResourceSized@16 _A_HalftoneSetResourceSized@16 _A_CmGetAdjustStatus@4)
else()
  execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
  endif()
  string(REGEX MATCHALL "[TtWw] [A-Za-z_][A-Za-z0-9_@]*" entries "${symbols}")
  foreach(entry ${entries})
    string(REGEX REPLACE "^[TtWw] " "" name "${entry}")
    if(NOT name MATCHES "^_(init|fini)$")
      list(APPEND found ${name})
    endif()
  endforeach()
  set(expected ${plain})
endif()
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exported functions: ${found}\nexpected: ${expected}")
endif()
execute_process(COMMAND ${NM} -C ${LIBRARY} OUTPUT_VARIABLE allSymbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
foreach(seam shouldFail installedPlan activePlan ScopedFaultPlan)
  if(allSymbols MATCHES "${seam}")
    message(FATAL_ERROR "the shared library carries the test seam: ${seam}")
  endif()
endforeach()
message(STATUS "exports ok: ${found}")
