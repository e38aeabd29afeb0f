# The instruction set of the launcher's code and its decompressor.
#
#   -DTARVEK_LAUNCHER_ISA=baseline   plain x86-64, runs on every 64-bit x86
#                                    processor (the default)
#   -DTARVEK_LAUNCHER_ISA=extended   the compiler may use AVX-512 (F, DQ, VL,
#                                    VBMI), GFNI, AVX2, BMI1, BMI2, LZCNT,
#                                    MOVBE and F16C anywhere, without a check,
#                                    and prefers 512-bit vectors; the launcher
#                                    then starts only on processors with all
#                                    of them
set(TARVEK_LAUNCHER_ISA baseline CACHE STRING "instruction set of the launcher: baseline or extended")
set_property(CACHE TARVEK_LAUNCHER_ISA PROPERTY STRINGS baseline extended)
if(TARVEK_LAUNCHER_ISA STREQUAL "baseline")
  set(TARVEK_ISA_FLAGS)
elseif(TARVEK_LAUNCHER_ISA STREQUAL "extended")
  set(TARVEK_ISA_FLAGS -mavx512f -mavx512dq -mavx512vl -mavx512vbmi -mgfni -mavx2 -mbmi -mbmi2 -mlzcnt
    -mmovbe -mf16c -mprefer-vector-width=512)
else()
  message(FATAL_ERROR "TARVEK_LAUNCHER_ISA is baseline or extended, not '${TARVEK_LAUNCHER_ISA}'")
endif()
