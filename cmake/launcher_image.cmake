# The launcher image. This build compiles the launcher's code and gathers
# it, with the image's own start-up (image/), the import libraries made from
# image/allowed_imports.txt and the image's data files, into the launcher
# parts folder, BUILD/win/launcher-parts (its content is described in
# tools/image/launcher_link.hpp). Every launcher is linked from those parts
# by the host tool tarvek-link-launcher, here as in packing.

# The start-up of a Unicode program, with the entries of a windowed and a
# console one (the link picks one), and what the image provides instead of
# importing it. Only launchers are linked with these; tests and the probe
# keep the ordinary start-up.
add_library(tarvek_image_objects OBJECT
  image/startup.cpp image/entry_windowed.cpp image/entry_console.cpp image/windows_entry.cpp
  image/command_tail.cpp image/thread_local_storage.cpp
  image/load_configuration.cpp)
# The runtime functions the image provides instead of importing them; the
# adapter library (adapter/) is linked with these too.
add_library(tarvek_image_runtime_objects OBJECT
  image/block_memory.cpp image/formatted_output.cpp image/wide_strings.cpp image/stack_probe.s)
foreach(objects tarvek_image_objects tarvek_image_runtime_objects)
  target_include_directories(${objects} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${objects} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TARVEK_LAUNCHER_FLAGS}>)
endforeach()

# One import library per library of the table, holding exactly its
# functions: a launcher that calls anything else does not link.
set(TARVEK_ALLOWED_IMPORTS ${PROJECT_SOURCE_DIR}/image/allowed_imports.txt)
tarvek_import_libraries(TARVEK_IMPORT_LIBRARIES ${TARVEK_ALLOWED_IMPORTS} ${CMAKE_BINARY_DIR}/import-libraries)

set(TARVEK_LAUNCHER_PARTS ${CMAKE_BINARY_DIR}/launcher-parts)
set(TARVEK_LAUNCHER_PARTS_STAMP ${TARVEK_LAUNCHER_PARTS}/.complete)
# The adapter library's import libraries and link, which the parts carry too.
include(${CMAKE_CURRENT_LIST_DIR}/run_adapter.cmake)
set(_adapter_objects $<TARGET_OBJECTS:tarvek_adapter_objects> $<TARGET_OBJECTS:tarvek_image_runtime_objects>)
set(_code_libraries tarvek_launcher tarvek_payload tarvek_paths tarvek_errors zstd_decompress)
set(_image_files ${PROJECT_SOURCE_DIR}/image/launcher.rc.in ${PROJECT_SOURCE_DIR}/image/launcher.manifest
  ${PROJECT_SOURCE_DIR}/image/link_settings.txt ${PROJECT_SOURCE_DIR}/image/console_link_settings.txt
  ${TARVEK_ALLOWED_IMPORTS})
file(GLOB TARVEK_DEFAULT_ICONS ${PROJECT_SOURCE_DIR}/image/icons/icon-*.png)
set(_code_files)
foreach(library IN LISTS _code_libraries)
  list(APPEND _code_files $<TARGET_FILE:${library}>)
endforeach()
add_custom_command(OUTPUT ${TARVEK_LAUNCHER_PARTS_STAMP}
  COMMAND ${CMAKE_COMMAND} -DPARTS=${TARVEK_LAUNCHER_PARTS}
    "-DOBJECTS=$<JOIN:$<TARGET_OBJECTS:tarvek_image_objects>;$<TARGET_OBJECTS:tarvek_image_runtime_objects>,|>"
    "-DLIBRARIES=$<JOIN:${_code_files};${TARVEK_IMPORT_LIBRARIES},|>"
    -DIMAGE_DIR=${PROJECT_SOURCE_DIR}/image
    "-DADAPTER_OBJECTS=$<JOIN:${_adapter_objects},|>"
    "-DADAPTER_LIBRARIES=$<JOIN:${TARVEK_ADAPTER_IMPORT_LIBRARIES},|>"
    -DADAPTER_DIR=${PROJECT_SOURCE_DIR}/adapter
    -P ${PROJECT_SOURCE_DIR}/cmake/launcher_parts.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/launcher_parts.cmake $<TARGET_OBJECTS:tarvek_image_objects>
    ${_adapter_objects} ${_code_libraries} ${TARVEK_IMPORT_LIBRARIES} ${_image_files} ${TARVEK_DEFAULT_ICONS}
    ${TARVEK_ADAPTER_IMPORT_LIBRARIES} ${TARVEK_ADAPTER_FILES}
  COMMENT "Gathering the launcher parts"
  VERBATIM)
add_custom_target(tarvek_launcher_parts ALL DEPENDS ${TARVEK_LAUNCHER_PARTS_STAMP})

# The host-side link tool, built by ./tarvek before this project.
if(NOT DEFINED TARVEK_LINK_TOOL)
  set(TARVEK_LINK_TOOL ${TARVEK_HOST_TOOLS}/image/tarvek-link-launcher)
endif()
# The packaging tool, built by ./tarvek before this project.
if(NOT DEFINED TARVEK_PACK_TOOL)
  set(TARVEK_PACK_TOOL ${TARVEK_HOST_TOOLS}/pack/tarvek-pack)
endif()
# Settings of launchers linked without settings of their own, as the link
# tool's defaults are (the image tests check them against these).
set(TARVEK_DEFAULT_COMPANY "Tarvek")
set(TARVEK_DEFAULT_PRODUCT "Tarvek Onefile application")
set(TARVEK_DEFAULT_VERSION "1.0.0.0")

# tarvek_add_launcher(NAME STORED_PAYLOAD [COMPANY TEXT] [PRODUCT TEXT]
#   [APP_VERSION A[.B[.C[.D]]]] [INTERNAL_NAME NAME] [DESCRIPTION TEXT]
#   [ICONS SEVEN_PNGS...] [CONSOLE] [LINKER_ARGS ARGS...]
#   [DEPENDS FILES_OR_TARGETS...])
# Links NAME.exe in the current binary directory with tarvek-link-launcher,
# a console program with CONSOLE. The internal name defaults to NAME;
# LINKER_ARGS go to lld-link after the parts (tests that link the start-up
# with something else of theirs).
function(tarvek_add_launcher name stored)
  cmake_parse_arguments(arg "CONSOLE" "COMPANY;PRODUCT;APP_VERSION;INTERNAL_NAME;DESCRIPTION"
    "ICONS;LINKER_ARGS;DEPENDS" ${ARGN})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name}.exe)
  set(settings)
  if(arg_CONSOLE)
    list(APPEND settings --console)
  endif()
  foreach(field COMPANY PRODUCT APP_VERSION INTERNAL_NAME DESCRIPTION)
    if(DEFINED arg_${field})
      string(TOLOWER "${field}" option)
      string(REPLACE "_" "-" option "${option}")
      list(APPEND settings --${option} "${arg_${field}}")
    endif()
  endforeach()
  foreach(icon IN LISTS arg_ICONS)
    list(APPEND settings --icon ${icon})
  endforeach()
  foreach(argument IN LISTS arg_LINKER_ARGS)
    list(APPEND settings --linker-arg ${argument})
  endforeach()
  add_custom_command(OUTPUT ${out}
    COMMAND ${TARVEK_LINK_TOOL} --parts ${TARVEK_LAUNCHER_PARTS} --payload ${stored} -o ${out} ${settings}
    DEPENDS ${stored} ${TARVEK_LAUNCHER_PARTS_STAMP} tarvek_launcher_parts ${TARVEK_LINK_TOOL} ${arg_ICONS}
      ${arg_DEPENDS}
    COMMENT "Linking launcher ${name}.exe"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${out})
endfunction()

# The host-side payload writer, built by ./tarvek before this project.
if(NOT DEFINED TARVEK_PAYLOAD_TOOL)
  set(TARVEK_PAYLOAD_TOOL ${TARVEK_HOST_TOOLS}/payload/tarvek-payload)
endif()
