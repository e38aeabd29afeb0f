# GoogleTest for the Windows target, from Debian's source at /usr/src.
set(TARVEK_GTEST_SOURCE /usr/src/googletest/googletest)
if(NOT EXISTS "${TARVEK_GTEST_SOURCE}/src/gtest-all.cc")
  message(FATAL_ERROR "no GoogleTest source at ${TARVEK_GTEST_SOURCE}: run tools/setup.sh")
endif()
add_library(gtest STATIC ${TARVEK_GTEST_SOURCE}/src/gtest-all.cc)
target_include_directories(gtest SYSTEM PUBLIC ${TARVEK_GTEST_SOURCE}/include
  PRIVATE ${TARVEK_GTEST_SOURCE})
target_compile_options(gtest PRIVATE -O1 -w)
