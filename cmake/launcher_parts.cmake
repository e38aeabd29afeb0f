# Gathers the launcher parts folder (tools/image/launcher_link.hpp says what
# it holds; its adapter/ folder is described in cmake/run_adapter.cmake).
# Run by the build:
#
#   cmake -DPARTS=DIR -DOBJECTS=A.obj|B.obj -DLIBRARIES=a.a|b.lib
#         -DIMAGE_DIR=SOURCE/image -DADAPTER_OBJECTS=C.obj|D.obj
#         -DADAPTER_LIBRARIES=c.lib|d.lib -DADAPTER_DIR=SOURCE/adapter
#         -P launcher_parts.cmake
#
# Libraries are stored as NAME.lib, without a "lib" prefix.
foreach(var PARTS OBJECTS LIBRARIES IMAGE_DIR ADAPTER_OBJECTS ADAPTER_LIBRARIES ADAPTER_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "launcher_parts.cmake: -D${var}= missing")
  endif()
endforeach()

if(NOT PARTS MATCHES "^/.*/launcher-parts$")
  message(FATAL_ERROR "launcher_parts.cmake: PARTS must be an absolute path ending in /launcher-parts")
endif()
file(REMOVE_RECURSE ${PARTS})
file(MAKE_DIRECTORY ${PARTS}/objects ${PARTS}/lib ${PARTS}/icons ${PARTS}/adapter/objects ${PARTS}/adapter/lib)

# copy_objects(A.obj|B.obj FOLDER) and copy_libraries(a.a|b.lib FOLDER)
function(copy_objects objects folder)
  string(REPLACE "|" ";" objects "${objects}")
  foreach(object IN LISTS objects)
    get_filename_component(name "${object}" NAME)
    file(COPY_FILE "${object}" "${folder}/${name}")
  endforeach()
endfunction()
function(copy_libraries libraries folder)
  string(REPLACE "|" ";" libraries "${libraries}")
  foreach(library IN LISTS libraries)
    get_filename_component(name "${library}" NAME_WE)
    string(REGEX REPLACE "^lib" "" name "${name}")
    file(COPY_FILE "${library}" "${folder}/${name}.lib")
  endforeach()
endfunction()

# write_link_settings(TEXT RSP): the link settings without their comments.
include(${CMAKE_CURRENT_LIST_DIR}/uncommented_lines.cmake)
function(write_link_settings text rsp)
  tarvek_uncommented_lines(lines "${text}")
  list(JOIN lines "\n" settings)
  file(WRITE "${rsp}" "${settings}\n")
endfunction()

copy_objects("${OBJECTS}" ${PARTS}/objects)
copy_libraries("${LIBRARIES}" ${PARTS}/lib)
foreach(name launcher.rc.in launcher.manifest allowed_imports.txt)
  file(COPY_FILE "${IMAGE_DIR}/${name}" "${PARTS}/${name}")
endforeach()
file(GLOB icons "${IMAGE_DIR}/icons/icon-*.png")
file(COPY ${icons} DESTINATION "${PARTS}/icons")
write_link_settings("${IMAGE_DIR}/link_settings.txt" "${PARTS}/link_settings.rsp")
write_link_settings("${IMAGE_DIR}/console_link_settings.txt" "${PARTS}/console_link_settings.rsp")

copy_objects("${ADAPTER_OBJECTS}" ${PARTS}/adapter/objects)
copy_libraries("${ADAPTER_LIBRARIES}" ${PARTS}/adapter/lib)
file(COPY_FILE "${ADAPTER_DIR}/allowed_imports.txt" "${PARTS}/adapter/allowed_imports.txt")
write_link_settings("${ADAPTER_DIR}/link_settings.txt" "${PARTS}/adapter/link_settings.rsp")

file(TOUCH "${PARTS}/.complete")
