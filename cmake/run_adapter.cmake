# The adapter library (adapter/), the main library of a launcher that runs
# an ordinary program, as the launcher parts carry it and as it is linked.
# Included by cmake/launcher_image.cmake, which gathers the parts.
#
# The parts folder's adapter/ holds:
#
#   link_settings.rsp      lld-link options of the library (from
#                          adapter/link_settings.txt)
#   objects/*.obj          its code and the image's runtime functions (block
#                          copies, fprintf, wcsrchr, the stack probe); all of
#                          them are linked
#   lib/*.lib              import libraries made from allowed_imports.txt
#   allowed_imports.txt    what the library may import
#
# main.dll is linked, as a launcher is, with lld-link alone; tarvek-pack
# --run does it (tools/image/adapter_link.cpp), with the launcher's time
# stamp:
#
#   lld-link @adapter/link_settings.rsp /timestamp:T /out:main.dll PROGRAM.obj
#            adapter/objects/*.obj adapter/lib/*.lib lib/*.lib
#
# PROGRAM.obj defines tarvek_run_program, the program's path relative to
# the application folder as NUL-terminated UTF-16, in read-only data: the
# object the launcher link writes for its texts does (tools/image's data
# object, with no payload and this one text). lib/*.lib are the launcher's
# code libraries (the argument quoting, the bounded buffers, the error
# reports) and import libraries: of the code only what the adapter calls
# remains, and of the imports only what that calls, since the link drops
# unused sections and the imports only they use. The adapter's import
# libraries come first; the image check holds each linked library against
# allowed_imports.txt (tests/image).
#
# The library exports run_code and tarvek_run_program by name: a tool reads
# which program a launcher runs from the export of its main.dll.

# The adapter's import libraries, from libraries that the launcher's child
# has loaded already, so that loading the adapter loads no further library.
set(TARVEK_ADAPTER_ALLOWED_IMPORTS ${PROJECT_SOURCE_DIR}/adapter/allowed_imports.txt)
tarvek_import_libraries(TARVEK_ADAPTER_IMPORT_LIBRARIES ${TARVEK_ADAPTER_ALLOWED_IMPORTS}
  ${CMAKE_BINARY_DIR}/adapter-import-libraries)
tarvek_read_import_table(_adapter_dlls _adapter_functions ${TARVEK_ADAPTER_ALLOWED_IMPORTS})
tarvek_read_import_table(_launcher_dlls _launcher_functions ${TARVEK_ALLOWED_IMPORTS})
foreach(dll IN LISTS _adapter_dlls)
  if(NOT dll IN_LIST _launcher_dlls)
    message(FATAL_ERROR "${TARVEK_ADAPTER_ALLOWED_IMPORTS}: ${dll} is no library the launcher loads")
  endif()
endforeach()
set(TARVEK_ADAPTER_FILES ${PROJECT_SOURCE_DIR}/adapter/link_settings.txt ${TARVEK_ADAPTER_ALLOWED_IMPORTS})

find_program(TARVEK_LLD_LINK NAMES lld-link REQUIRED)

# tarvek_add_run_adapter(NAME PROGRAM_PATH)
#
# Links NAME.dll in the current binary directory: an adapter library that
# runs PROGRAM_PATH (relative to the application folder, backslashes between
# folders), from the launcher parts, as packing links main.dll. The target
# NAME builds it.
function(tarvek_add_run_adapter name program)
  string(REPLACE "\\" "\\\\" literal "${program}")
  string(REPLACE "\"" "\\\"" literal "${literal}")
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}_program.cpp)
  file(CONFIGURE OUTPUT ${source}
    CONTENT "extern \"C\" const wchar_t tarvek_run_program[] = L\"${literal}\";\n")
  add_library(${name}_program OBJECT ${source})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name}.dll)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DPARTS=${TARVEK_LAUNCHER_PARTS} "-DPROGRAM_OBJECT=$<TARGET_OBJECTS:${name}_program>"
      -DOUTPUT=${out} -DLINKER=${TARVEK_LLD_LINK} -P ${PROJECT_SOURCE_DIR}/cmake/link_run_adapter.cmake
    DEPENDS ${name}_program $<TARGET_OBJECTS:${name}_program> ${TARVEK_LAUNCHER_PARTS_STAMP}
      tarvek_launcher_parts ${PROJECT_SOURCE_DIR}/cmake/link_run_adapter.cmake
    COMMENT "Linking adapter library ${name}.dll"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${out})
endfunction()
