# The build step of tarvek_add_onefile (TarvekOnefileConfig.cmake) that
# gathers the application folder tarvek-pack packs:
#
#   cmake -DLIBRARY=FILE -DDIRECTORY=DIR|"" -DSTAGE=BUILD/.../tarvek-onefile/NAME/app
#         -P stage_application.cmake
#
# STAGE is made afresh: LIBRARY as main.dll, and every file below DIRECTORY
# (links followed, copied as files) at its relative path. (The names are
# those tarvek_add_onefile found at configure time, which refused a
# main.dll among them; a change to them configures again.)
foreach(var LIBRARY DIRECTORY STAGE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "stage_application.cmake: -D${var}= missing")
  endif()
endforeach()
# The folder is removed whole: only one of the form tarvek_add_onefile makes.
if(NOT STAGE MATCHES "^/.+/tarvek-onefile/[^/]+/app$")
  message(FATAL_ERROR "stage_application.cmake: STAGE must be an absolute path ending in "
    "/tarvek-onefile/NAME/app, not '${STAGE}'")
endif()

file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
if(NOT DIRECTORY STREQUAL "")
  file(GLOB_RECURSE names RELATIVE "${DIRECTORY}" FOLLOW_SYMLINKS LIST_DIRECTORIES false "${DIRECTORY}/*")
  foreach(name IN LISTS names)
    get_filename_component(folder "${STAGE}/${name}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(COPY_FILE "${DIRECTORY}/${name}" "${STAGE}/${name}")
  endforeach()
endif()
file(COPY_FILE "${LIBRARY}" "${STAGE}/main.dll")
