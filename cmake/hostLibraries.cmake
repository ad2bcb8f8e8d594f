# vornhost's libraries, header-only, from the distribution (scripts/setup
# installs them): nlohmann/json for its JSON output, CLI11 for its command
# line, Howard Hinnant's date for the ISO 8601 times of its CSV logs and
# cpp-httplib for its dashboard's server (the whole header, from Debian's
# source package: scripts/setup says why). The
# cross compiler sees a copy of their own folders only, never all of
# /usr/include, whose glibc headers would shadow mingw's. VORN.dll links none
# of them.
set(VORN_HOST_LIBRARY_HEADERS
    /usr/include/nlohmann
    /usr/include/CLI
    /usr/include/date/date.h
    /usr/local/src/cpp-httplib/httplib.h)
set(VORN_HOST_LIBRARY_INCLUDE ${CMAKE_BINARY_DIR}/hostlibs/include)

foreach(header ${VORN_HOST_LIBRARY_HEADERS})
  if(NOT EXISTS ${header})
    message(FATAL_ERROR "${header} is missing: scripts/setup installs vornhost's libraries")
  endif()
  # A single header keeps the folder it is included by (<date/date.h>).
  if(IS_DIRECTORY ${header})
    file(COPY ${header} DESTINATION ${VORN_HOST_LIBRARY_INCLUDE})
  else()
    get_filename_component(folder ${header} DIRECTORY)
    get_filename_component(folder ${folder} NAME)
    file(COPY ${header} DESTINATION ${VORN_HOST_LIBRARY_INCLUDE}/${folder})
  endif()
endforeach()

add_library(vornhostlibs INTERFACE)
# SYSTEM: their own warnings are not ours to fix.
target_include_directories(vornhostlibs SYSTEM INTERFACE ${VORN_HOST_LIBRARY_INCLUDE})
