# The Tarvek Onefile package, installed by ./tarvek install PREFIX into
# PREFIX/lib/cmake/TarvekOnefile. In a project cross-compiled for x86-64
# Windows (mingw-clang.cmake beside this file is a toolchain for that):
#
#   find_package(TarvekOnefile CONFIG REQUIRED)
#   add_library(libfoo SHARED foo.c)
#   target_link_libraries(libfoo PRIVATE TarvekOnefile::run_code)
#   tarvek_add_onefile(foo MAIN_LIBRARY libfoo DIRECTORY data)
#
# TarvekOnefile::run_code gives the include path of <tarvek/run_code.h>.
# tarvek_add_onefile is described below. tarvek-pack, which packs, is this
# installation's PREFIX/bin/tarvek-pack; it links each launcher from the
# launcher parts installed beside it (or those $TARVEK_LAUNCHER_PARTS names).
cmake_minimum_required(VERSION 3.25)

# The installation's prefix, three folders up from this file.
get_filename_component(_tarvek_onefile_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT EXISTS "${_tarvek_onefile_prefix}/bin/tarvek-pack")
  set(TarvekOnefile_FOUND FALSE)
  set(TarvekOnefile_NOT_FOUND_MESSAGE "no ${_tarvek_onefile_prefix}/bin/tarvek-pack: install again with "
    "./tarvek install ${_tarvek_onefile_prefix}")
  return()
endif()

if(NOT TARGET TarvekOnefile::run_code)
  add_library(TarvekOnefile::run_code INTERFACE IMPORTED)
  set_target_properties(TarvekOnefile::run_code PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${_tarvek_onefile_prefix}/include")
endif()

# tarvek_add_onefile(<name> MAIN_LIBRARY <target> [DIRECTORY <dir>]
#                    [PRODUCT <text>] [COMPANY <text>] [APP_VERSION <v>]
#                    [DESCRIPTION <text>] [ICON <png>...] [CONSOLE])
#
# Packs <name>.exe into the current binary folder as part of the default
# build (the target <name>, in ALL): a launcher whose main library, main.dll,
# is the file of the SHARED (or MODULE) library <target>, built by the
# project or imported, whatever its own name, with the files below
# DIRECTORY (a source folder, relative to the current source folder; links
# are followed and packed as files) beside it at their relative paths. It is packed again when the library, a file of DIRECTORY,
# the set of DIRECTORY's names or an option changes. The options go to
# tarvek-pack: PRODUCT --product, COMPANY --company, APP_VERSION
# --app-version (A[.B[.C[.D]]]), DESCRIPTION --description, each ICON
# --icon, CONSOLE --console (a console program instead of a windowed one).
function(tarvek_add_onefile name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "CONSOLE"
    "MAIN_LIBRARY;DIRECTORY;PRODUCT;COMPANY;APP_VERSION;DESCRIPTION" "ICON")
  set(call "tarvek_add_onefile(${name})")
  if(arg_UNPARSED_ARGUMENTS)
    list(JOIN arg_UNPARSED_ARGUMENTS " " unknown)
    message(SEND_ERROR "${call}: unknown arguments: ${unknown}")
    return()
  endif()
  if(arg_KEYWORDS_MISSING_VALUES)
    message(SEND_ERROR "${call}: no value for ${arg_KEYWORDS_MISSING_VALUES}")
    return()
  endif()
  if(NOT CMAKE_CROSSCOMPILING OR NOT CMAKE_SYSTEM_NAME STREQUAL "Windows"
     OR NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$"
     OR (DEFINED CMAKE_SIZEOF_VOID_P AND NOT CMAKE_SIZEOF_VOID_P EQUAL 8))
    message(SEND_ERROR "${call}: the project must be cross-compiled for x86-64 Windows, not for "
      "'${CMAKE_SYSTEM_NAME}' on '${CMAKE_SYSTEM_PROCESSOR}' (give -DCMAKE_TOOLCHAIN_FILE="
      "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/mingw-clang.cmake)")
    return()
  endif()
  if(NOT arg_MAIN_LIBRARY)
    message(SEND_ERROR "${call}: MAIN_LIBRARY <target> is required")
    return()
  endif()
  if(NOT TARGET "${arg_MAIN_LIBRARY}")
    message(SEND_ERROR "${call}: MAIN_LIBRARY ${arg_MAIN_LIBRARY} is no target (define it first)")
    return()
  endif()
  get_target_property(type "${arg_MAIN_LIBRARY}" TYPE)
  if(NOT type STREQUAL "SHARED_LIBRARY" AND NOT type STREQUAL "MODULE_LIBRARY")
    message(SEND_ERROR "${call}: MAIN_LIBRARY ${arg_MAIN_LIBRARY} is a ${type}; the main library must be a "
      "DLL: add_library(${arg_MAIN_LIBRARY} SHARED ...)")
    return()
  endif()

  set(work "${CMAKE_CURRENT_BINARY_DIR}/tarvek-onefile/${name}")
  set(stage "${work}/app")
  set(exe "${CMAKE_CURRENT_BINARY_DIR}/${name}.exe")
  # What the pack depends on beside the library: the files of DIRECTORY,
  # and a record of their names and of the options, rewritten only when
  # one of them changes.
  set(inputs)
  set(record "main library ${arg_MAIN_LIBRARY}\n")
  set(directory "")
  if(DEFINED arg_DIRECTORY)
    get_filename_component(directory "${arg_DIRECTORY}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT IS_DIRECTORY "${directory}")
      message(SEND_ERROR "${call}: DIRECTORY ${directory} is not a folder")
      return()
    endif()
    file(GLOB_RECURSE names CONFIGURE_DEPENDS RELATIVE "${directory}" FOLLOW_SYMLINKS LIST_DIRECTORIES false
      "${directory}/*")
    list(SORT names)
    foreach(file_name IN LISTS names)
      string(TOLOWER "${file_name}" lower)
      if(lower STREQUAL "main.dll")
        message(SEND_ERROR "${call}: DIRECTORY ${directory} holds ${file_name}: in the launcher main.dll is "
          "the main library ${arg_MAIN_LIBRARY}")
        return()
      endif()
      list(APPEND inputs "${directory}/${file_name}")
      string(APPEND record "file ${file_name}\n")
    endforeach()
  endif()
  # tarvek-pack's options, each value one argument: a ';' in it is escaped,
  # so that the command line keeps it.
  set(options)
  foreach(option IN ITEMS PRODUCT COMPANY APP_VERSION DESCRIPTION)
    if(DEFINED arg_${option})
      string(TOLOWER "--${option}" flag)
      string(REPLACE "_" "-" flag "${flag}")
      string(REPLACE ";" "\\;" value "${arg_${option}}")
      list(APPEND options "${flag}" "${value}")
      string(APPEND record "option ${flag} ${arg_${option}}\n")
    endif()
  endforeach()
  foreach(icon IN LISTS arg_ICON)
    get_filename_component(icon "${icon}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND options --icon "${icon}")
    list(APPEND inputs "${icon}")
    string(APPEND record "option --icon ${icon}\n")
  endforeach()
  if(arg_CONSOLE)
    list(APPEND options --console)
    string(APPEND record "option --console\n")
  endif()
  set(record_file "${work}/inputs.txt")
  set(old_record "")
  if(EXISTS "${record_file}")
    file(READ "${record_file}" old_record)
  endif()
  if(NOT old_record STREQUAL record)
    file(WRITE "${record_file}" "${record}")
  endif()

  get_filename_component(pack "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../../../bin/tarvek-pack" ABSOLUTE)
  set(stage_script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/stage_application.cmake")
  add_custom_command(OUTPUT "${exe}"
    COMMAND "${CMAKE_COMMAND}" "-DLIBRARY=$<TARGET_FILE:${arg_MAIN_LIBRARY}>" "-DDIRECTORY=${directory}"
      "-DSTAGE=${stage}" -P "${stage_script}"
    COMMAND "${pack}" "${stage}" -o "${exe}" ${options}
    DEPENDS "${arg_MAIN_LIBRARY}" ${inputs} "${record_file}" "${stage_script}" "${pack}"
    COMMENT "Packing ${name}.exe"
    VERBATIM)
  add_custom_target("${name}" ALL DEPENDS "${exe}")
  set_property(TARGET "${name}" APPEND PROPERTY ADDITIONAL_CLEAN_FILES "${stage}")
endfunction()
