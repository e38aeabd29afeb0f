# Cross toolchain: clang and lld for x86_64-w64-mingw32 over Debian's
# mingw-w64 headers and import libraries, linked against the Universal C
# Runtime. The compiler's own search for a GCC installation does not see
# Debian's versioned "12-posix" directory, so every path is given here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARVEK_TRIPLE x86_64-w64-mingw32)
set(TARVEK_MINGW_SYSROOT /usr/${TARVEK_TRIPLE})
file(GLOB _gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${TARVEK_TRIPLE}/*-posix)
list(SORT _gcc_dirs)
list(POP_BACK _gcc_dirs TARVEK_MINGW_GCC_DIR)
if(NOT TARVEK_MINGW_GCC_DIR)
  message(FATAL_ERROR "no /usr/lib/gcc/${TARVEK_TRIPLE}/*-posix: install g++-mingw-w64-x86-64-posix")
endif()

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_ASM_COMPILER clang)
set(CMAKE_RC_COMPILER llvm-rc)
set(CMAKE_C_COMPILER_TARGET ${TARVEK_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${TARVEK_TRIPLE})
set(CMAKE_ASM_COMPILER_TARGET ${TARVEK_TRIPLE})

# Universal C Runtime headers: _UCRT turns printf and friends into the
# __stdio_common_* entry points of the api-ms-win-crt sets.
# The C++ headers come first: they include_next the C ones.
set(_ucrt "-D__MSVCRT_VERSION__=0xE00 -D_UCRT -nostdlibinc -Wno-unused-command-line-argument")
set(_c_headers "-isystem ${TARVEK_MINGW_SYSROOT}/include")
set(_cxx_headers "-isystem ${TARVEK_MINGW_GCC_DIR}/include/c++ -isystem ${TARVEK_MINGW_GCC_DIR}/include/c++/${TARVEK_TRIPLE}")
set(CMAKE_C_FLAGS_INIT "${_ucrt} ${_c_headers}")
set(CMAKE_CXX_FLAGS_INIT "${_ucrt} ${_cxx_headers} ${_c_headers}")
set(CMAKE_ASM_FLAGS_INIT "-Wno-unused-command-line-argument")

# Ordinary programs and libraries (tests, probes, applications) link
# statically against libstdc++ and the UCRT; the launcher itself replaces
# all of this (see launcher/). Debian's libwinpthread is built for msvcrt
# and calls _setjmp, which the UCRT exports as __intrinsic_setjmp: the same
# function, so the linker takes the one for the other.
set(_link "-fuse-ld=lld -static -nodefaultlibs -L${TARVEK_MINGW_GCC_DIR}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_link}")
set(_libs "-Wl,--start-group -lstdc++ -lmingw32 -lgcc -lgcc_eh -lmingwex -lwinpthread -lucrt -lkernel32 -ladvapi32 -lshell32 -luser32 -Wl,--end-group -Wl,-Xlink=-alternatename:_setjmp=__intrinsic_setjmp")
set(CMAKE_C_STANDARD_LIBRARIES "${_libs}" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "${_libs}" CACHE STRING "" FORCE)

set(CMAKE_FIND_ROOT_PATH ${TARVEK_MINGW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
