# The .def files' 64-bit variants (cmake/exportDefinitions.cmake), made from
# the real VORN.def and bridge/FTD2XX.def: a 32-bit build uses the files
# themselves; a 64-bit one keeps every exported name, alias and ordinal and
# drops every stdcall decoration from what the names refer to, so that a line
# the rewriting misses is caught here rather than as a 64-bit link error or
# a decorated import. Run as: cmake -DVORN_SOURCE_DIR=... -P this file.
include(${VORN_SOURCE_DIR}/cmake/exportDefinitions.cmake)
set(errors "")
macro(fail message)
  string(APPEND errors "  ${message}\n")
endmacro()

# The EXPORTS lines of a .def text, one list entry each.
function(export_lines text out_var)
  string(REGEX REPLACE ".*\nEXPORTS\n" "" body "${text}")
  string(REPLACE ";" "\\;" body "${body}")
  string(REGEX REPLACE "\n+$" "" body "${body}")
  string(REPLACE "\n" ";" lines "${body}")
  set(${out_var} ${lines} PARENT_SCOPE)
endfunction()

foreach(def plugin/VORN.def bridge/FTD2XX.def)
  set(source ${VORN_SOURCE_DIR}/${def})
  file(READ ${source} original)

  set(CMAKE_SIZEOF_VOID_P 4)
  vorn_def_file(${source} used)
  if(NOT used STREQUAL source)
    fail("${def}: a 32-bit build links ${used}, not the file itself")
  endif()

  set(CMAKE_SIZEOF_VOID_P 8)
  vorn_def_file(${source} used)
  file(READ ${used} variant)
  export_lines("${original}" before)
  export_lines("${variant}" after)
  list(LENGTH before count)
  list(LENGTH after count_after)
  if(count EQUAL 0 OR NOT count EQUAL count_after)
    fail("${def}: ${count} export lines became ${count_after}")
    continue()
  endif()
  math(EXPR last "${count} - 1")
  foreach(k RANGE ${last})
    list(GET before ${k} line)
    list(GET after ${k} got)
    if(line MATCHES "^( +[A-Za-z_@0-9]+) = ([A-Za-z_][A-Za-z0-9_]*)(@[0-9]+)?$")
      # name = target: the name as it was (a decorated alias too), the target plain.
      set(want "${CMAKE_MATCH_1} = ${CMAKE_MATCH_2}")
    elseif(line MATCHES "^( +[A-Za-z_][A-Za-z0-9_]*)(@[0-9]+)?( +@[0-9]+ NONAME)$")
      set(want "${CMAKE_MATCH_1}${CMAKE_MATCH_3}")
    else()
      fail("${def}: an export line of a form the 64-bit variant does not know: '${line}'")
      continue()
    endif()
    if(NOT got STREQUAL want)
      fail("${def}: '${line}' became '${got}', not '${want}'")
    endif()
  endforeach()
endforeach()

# The simulator's export list: its lines name their targets as VORN.def does.
set(CMAKE_SIZEOF_VOID_P 8)
set(text "EXPORTS\n  FT_Open = FT_Open@8 @1\n  FT_GetDeviceInfoList = FT_GetDeviceInfoList@8\n")
vorn_undecorate_def(text)
if(NOT text STREQUAL "EXPORTS\n  FT_Open = FT_Open @1\n  FT_GetDeviceInfoList = FT_GetDeviceInfoList\n")
  fail("the simulator's list became: ${text}")
endif()

if(errors)
  message(FATAL_ERROR "export definitions:\n${errors}")
endif()
message(STATUS "export definitions: the 32-bit build uses both files as they are, the 64-bit variants keep every name and ordinal")
