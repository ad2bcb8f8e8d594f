# Module-definition files for 32-bit and 64-bit builds from one source.
#
# The .def files name stdcall functions as the 32-bit compiler decorates
# them (init@0, FT_Open@8). x64 has one calling convention and no such
# decoration, so a 64-bit build (the rehearsal of scripts/test on a machine
# that cannot run 32-bit programs) links with a copy whose export targets
# and import names lose their @N; names exported as decorated aliases
# (_init@0) stay, so that a lookup by either name still finds the function.
# A 32-bit build uses the .def files as they are.
include_guard(GLOBAL)

# Removes the decoration from the .def text in the variable named, on 64-bit.
function(vorn_undecorate_def text_var)
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    return()
  endif()
  set(text "${${text_var}}")
  # An export's target: "init = init@0" becomes "init = init".
  string(REGEX REPLACE "= ([A-Za-z_][A-Za-z0-9_]*)@[0-9]+" "= \\1" text "${text}")
  # A name that is both, at an ordinal: "FT_Open@8 @1 NONAME" becomes "FT_Open @1 NONAME".
  string(REGEX REPLACE "(\n[ \t]*[A-Za-z_][A-Za-z0-9_]*)@[0-9]+([ \t]+@[0-9]+)" "\\1\\2" text "${text}")
  set(${text_var} "${text}" PARENT_SCOPE)
endfunction()

# Sets the variable named to the .def file to build with: the source itself
# on 32-bit, an undecorated copy in the current binary folder on 64-bit.
function(vorn_def_file source out_var)
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(${out_var} ${source} PARENT_SCOPE)
    return()
  endif()
  file(READ ${source} text)
  vorn_undecorate_def(text)
  get_filename_component(name ${source} NAME)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${name})
  file(CONFIGURE OUTPUT ${output} CONTENT "${text}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  set(${out_var} ${output} PARENT_SCOPE)
endfunction()
