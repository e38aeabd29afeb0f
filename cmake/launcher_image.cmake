# The launcher image: start-up entry, launcher libraries, a stored payload
# placed first in .rdata. The link is written out as a script,
# BUILD/win/tarvek-link-launcher, so that the packaging tool links exactly
# as the build does.
add_library(tarvek_windows_entry OBJECT ${PROJECT_SOURCE_DIR}/image/windows_entry.cpp)
target_include_directories(tarvek_windows_entry PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(tarvek_windows_entry PRIVATE ${TARVEK_LAUNCHER_FLAGS})

# No C++ runtime: the Universal C Runtime, the windowed Unicode start-up of
# mingw-w64, kernel32 and shell32, and libgcc for the stack probes. The
# start-up objects are named by hand so that they come after the payload
# object: the first object's read-only data starts .rdata.
set(TARVEK_LAUNCHER_LINK_FLAGS "-fuse-ld=lld -municode -mwindows -nostartfiles -nodefaultlibs -static -s -L${TARVEK_MINGW_GCC_DIR}")
set(TARVEK_STARTUP_OBJECTS "${TARVEK_MINGW_SYSROOT}/lib/crt2u.o ${TARVEK_MINGW_SYSROOT}/lib/crtbegin.o")
set(TARVEK_STARTUP_END_OBJECTS "${TARVEK_MINGW_SYSROOT}/lib/crtend.o")
set(TARVEK_LAUNCHER_LIBRARIES "-Wl,--start-group -lmingw32 -lmingwex -lgcc -lucrt -lkernel32 -lshell32 -Wl,--end-group")
set(TARVEK_LAUNCHER_COMPILE_FLAGS "${CMAKE_CXX_FLAGS} -std=c++20 -O2 -fno-exceptions -fno-rtti -I${PROJECT_SOURCE_DIR}")
set(TARVEK_PAYLOAD_ASM_TEMPLATE ${PROJECT_SOURCE_DIR}/cmake/payload_object.s.in)
set(TARVEK_DEFAULT_SETTINGS ${PROJECT_SOURCE_DIR}/image/default_settings.cpp)

configure_file(${PROJECT_SOURCE_DIR}/cmake/link_launcher.sh.in
  ${CMAKE_BINARY_DIR}/link_launcher.sh.gen @ONLY)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/tarvek-link-launcher
  INPUT ${CMAKE_BINARY_DIR}/link_launcher.sh.gen
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(TARVEK_LINK_LAUNCHER ${CMAKE_BINARY_DIR}/tarvek-link-launcher)
set(TARVEK_LAUNCHER_PARTS tarvek_windows_entry tarvek_launcher tarvek_payload tarvek_paths
  tarvek_errors zstd_decompress)

# tarvek_add_launcher(NAME STORED_PAYLOAD [SETTINGS file.cpp])
# Builds NAME.exe in the current binary directory.
function(tarvek_add_launcher name stored)
  cmake_parse_arguments(arg "" "SETTINGS" "" ${ARGN})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name}.exe)
  add_custom_command(OUTPUT ${out}
    COMMAND ${TARVEK_LINK_LAUNCHER} ${stored} ${out} ${arg_SETTINGS}
    DEPENDS ${stored} ${arg_SETTINGS} ${TARVEK_LAUNCHER_PARTS} ${TARVEK_LINK_LAUNCHER}
    COMMENT "Linking launcher ${name}.exe"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${out})
endfunction()

# The host-side payload writer, built by ./tarvek before this project.
if(NOT DEFINED TARVEK_PAYLOAD_TOOL)
  set(TARVEK_PAYLOAD_TOOL ${TARVEK_HOST_TOOLS}/payload/tarvek-payload)
endif()
