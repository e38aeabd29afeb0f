# Gathers the launcher parts folder (tools/image/launcher_link.hpp says what
# it holds). Run by the build:
#
#   cmake -DPARTS=DIR -DOBJECTS=A.obj|B.obj -DLIBRARIES=a.a|b.lib
#         -DIMAGE_DIR=SOURCE/image -P launcher_parts.cmake
#
# Libraries are stored as NAME.lib, without a "lib" prefix.
foreach(var PARTS OBJECTS LIBRARIES IMAGE_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "launcher_parts.cmake: -D${var}= missing")
  endif()
endforeach()

if(NOT PARTS MATCHES "^/.*/launcher-parts$")
  message(FATAL_ERROR "launcher_parts.cmake: PARTS must be an absolute path ending in /launcher-parts")
endif()
file(REMOVE_RECURSE ${PARTS})
file(MAKE_DIRECTORY ${PARTS}/objects ${PARTS}/lib ${PARTS}/icons)

string(REPLACE "|" ";" OBJECTS "${OBJECTS}")
foreach(object IN LISTS OBJECTS)
  get_filename_component(name "${object}" NAME)
  file(COPY_FILE "${object}" "${PARTS}/objects/${name}")
endforeach()

string(REPLACE "|" ";" LIBRARIES "${LIBRARIES}")
foreach(library IN LISTS LIBRARIES)
  get_filename_component(name "${library}" NAME_WE)
  string(REGEX REPLACE "^lib" "" name "${name}")
  file(COPY_FILE "${library}" "${PARTS}/lib/${name}.lib")
endforeach()

foreach(name launcher.rc.in launcher.manifest allowed_imports.txt)
  file(COPY_FILE "${IMAGE_DIR}/${name}" "${PARTS}/${name}")
endforeach()
file(GLOB icons "${IMAGE_DIR}/icons/icon-*.png")
file(COPY ${icons} DESTINATION "${PARTS}/icons")

# The link settings without their comments.
file(STRINGS "${IMAGE_DIR}/link_settings.txt" lines)
set(settings "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "#.*" "" line "${line}")
  string(STRIP "${line}" line)
  if(NOT line STREQUAL "")
    string(APPEND settings "${line}\n")
  endif()
endforeach()
file(WRITE "${PARTS}/link_settings.rsp" "${settings}")

file(TOUCH "${PARTS}/.complete")
