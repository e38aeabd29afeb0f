# The Zstandard decompressor for Windows, built from Debian's source package
# (fetched by tools/setup.sh). Only the common and decompress sources: the
# launcher never compresses, and the x86-64 assembly file is ELF-only.
tarvek_deps_source(TARVEK_ZSTD_DIR "libzstd-*" lib/zstd.h)

set(_zlib ${TARVEK_ZSTD_DIR}/lib)
add_library(zstd_decompress STATIC
  ${_zlib}/common/debug.c
  ${_zlib}/common/entropy_common.c
  ${_zlib}/common/error_private.c
  ${_zlib}/common/fse_decompress.c
  ${_zlib}/common/xxhash.c
  ${_zlib}/common/zstd_common.c
  ${_zlib}/decompress/huf_decompress.c
  ${_zlib}/decompress/zstd_ddict.c
  ${_zlib}/decompress/zstd_decompress.c
  ${_zlib}/decompress/zstd_decompress_block.c)
target_include_directories(zstd_decompress SYSTEM PUBLIC ${_zlib})
target_compile_definitions(zstd_decompress PRIVATE
  ZSTD_DISABLE_ASM ZSTD_LEGACY_SUPPORT=0 ZSTD_NO_TRACE DEBUGLEVEL=0)
target_compile_options(zstd_decompress PRIVATE -O2 -w ${TARVEK_ISA_FLAGS})
