# tarvek_import_libraries(OUT TABLE FOLDER)
#
# One import library per library of an allowed import table ("LIBRARY
# FUNCTION" lines, '#' comments), holding exactly its functions, made in
# FOLDER at build time; OUT is the list of their paths. An image linked
# against them alone cannot call anything else.
include(${CMAKE_CURRENT_LIST_DIR}/uncommented_lines.cmake)
find_program(TARVEK_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
function(tarvek_import_libraries out table folder)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${table})
  tarvek_read_import_table(dlls functions ${table})
  set(libraries)
  foreach(dll IN LISTS dlls)
    string(MAKE_C_IDENTIFIER "${dll}" key)
    string(REGEX REPLACE "\\.dll$" "" base "${dll}")
    list(JOIN functions_${key} "\n" exports)
    file(CONFIGURE OUTPUT ${folder}/${base}.def CONTENT "LIBRARY ${dll}\nEXPORTS\n${exports}\n")
    add_custom_command(OUTPUT ${folder}/${base}.lib
      COMMAND ${TARVEK_DLLTOOL} -m i386:x86-64 -d ${folder}/${base}.def -l ${folder}/${base}.lib
      DEPENDS ${folder}/${base}.def
      VERBATIM)
    list(APPEND libraries ${folder}/${base}.lib)
  endforeach()
  set(${out} ${libraries} PARENT_SCOPE)
endfunction()

# tarvek_read_import_table(DLLS FUNCTIONS TABLE): DLLS, the table's libraries
# in their order; FUNCTIONS_<C identifier of the library>, each one's
# functions.
function(tarvek_read_import_table dlls_out functions_out table)
  tarvek_uncommented_lines(lines ${table})
  set(dlls)
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^([^ \t]+)[ \t]+([^ \t]+)$")
      message(FATAL_ERROR "${table}: '${line}' is not 'LIBRARY FUNCTION'")
    endif()
    set(dll ${CMAKE_MATCH_1})
    string(MAKE_C_IDENTIFIER "${dll}" key)
    if(NOT dll IN_LIST dlls)
      list(APPEND dlls ${dll})
      set(_functions_${key} "")
    endif()
    list(APPEND _functions_${key} ${CMAKE_MATCH_2})
  endforeach()
  set(${dlls_out} ${dlls} PARENT_SCOPE)
  foreach(dll IN LISTS dlls)
    string(MAKE_C_IDENTIFIER "${dll}" key)
    set(${functions_out}_${key} ${_functions_${key}} PARENT_SCOPE)
  endforeach()
endfunction()
