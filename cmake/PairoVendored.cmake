# The libraries the build stands on, compiled from their copies in vendor/
# (where each came from: vendor/README.md). Each becomes a static library of
# position-independent code with hidden symbols, so the extension modules
# carry it and export none of it, under the target pairo::<name> that
# cmake/PairoSystemLibrary.cmake gives the system's copy.
include_guard(GLOBAL)
enable_language(C)
find_package(Threads REQUIRED)
get_filename_component(PAIRO_VENDOR_DIR "${CMAKE_CURRENT_LIST_DIR}/../vendor" ABSOLUTE)

# _pairo_add_vendored(<name> <source>... [INCLUDE <dir>...] [DEFINE <definition>...])
#
# INCLUDE and DEFINE are what the library's users compile with too.
function(_pairo_add_vendored name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "INCLUDE;DEFINE")
  list(TRANSFORM arg_UNPARSED_ARGUMENTS PREPEND "${PAIRO_VENDOR_DIR}/${name}/" OUTPUT_VARIABLE sources)
  list(TRANSFORM arg_INCLUDE PREPEND "${PAIRO_VENDOR_DIR}/${name}/" OUTPUT_VARIABLE includes)
  add_library(pairo_vendored_${name} STATIC ${sources})
  target_include_directories(pairo_vendored_${name} SYSTEM PUBLIC ${includes})
  target_compile_definitions(pairo_vendored_${name} PUBLIC ${arg_DEFINE})
  # Their code as released: its warnings (old-style C in zlib and libbzip2
  # under newer compilers) are not for this build to fix.
  target_compile_options(pairo_vendored_${name} PRIVATE -w)
  set_target_properties(pairo_vendored_${name} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()

_pairo_add_vendored(simdjson simdjson.cpp INCLUDE . DEFINE SIMDJSON_THREADS_ENABLED=1)
target_link_libraries(pairo_vendored_simdjson PUBLIC Threads::Threads)
add_library(pairo::simdjson ALIAS pairo_vendored_simdjson)

_pairo_add_vendored(pugixml pugixml.cpp INCLUDE .)
add_library(pairo::pugixml ALIAS pairo_vendored_pugixml)

_pairo_add_vendored(libdeflate
  lib/adler32.c lib/crc32.c lib/utils.c lib/arm/cpu_features.c lib/x86/cpu_features.c
  lib/deflate_compress.c lib/deflate_decompress.c lib/gzip_compress.c lib/gzip_decompress.c
  INCLUDE .)
add_library(pairo::libdeflate ALIAS pairo_vendored_libdeflate)

# Serialized unless a connection asks for less (the database reader opens
# its own with SQLITE_OPEN_NOMUTEX); full-text tables (FTS5), which a
# downloader's database may hold as the system's SQLite reads them; no
# extension loading, so no libdl; no memory statistics, whose global mutex
# every allocation would take; string literals in double quotes refused;
# busy waits that sleep in microseconds, not whole seconds.
_pairo_add_vendored(sqlite sqlite3.c INCLUDE .)
target_compile_definitions(pairo_vendored_sqlite PRIVATE
  SQLITE_THREADSAFE=1 SQLITE_ENABLE_FTS5 SQLITE_OMIT_LOAD_EXTENSION SQLITE_DEFAULT_MEMSTATUS=0 SQLITE_DQS=0
  $<$<NOT:$<BOOL:${WIN32}>>:HAVE_USLEEP=1>)
target_link_libraries(pairo_vendored_sqlite PUBLIC Threads::Threads $<$<BOOL:${UNIX}>:m>)
add_library(pairo::sqlite3 ALIAS pairo_vendored_sqlite)

# All of libbzip2: its one interface holds compression and decompression
# (the C++ tests compress their blobs).
_pairo_add_vendored(bzip2
  blocksort.c bzlib.c compress.c crctable.c decompress.c huffman.c randtable.c
  INCLUDE .)
add_library(pairo::bzip2 ALIAS pairo_vendored_bzip2)

# zlib's inflating only: gzip streams of tar bundles.
_pairo_add_vendored(zlib adler32.c crc32.c inffast.c inflate.c inftrees.c zutil.c INCLUDE .)
add_library(pairo::zlib ALIAS pairo_vendored_zlib)

# liblzma's .xz stream decoder, configured by vendor/xz/config.h.
_pairo_add_vendored(xz
  liblzma/common/common.c liblzma/common/block_util.c liblzma/common/filter_common.c
  liblzma/common/stream_flags_common.c liblzma/common/vli_size.c
  liblzma/common/stream_decoder.c liblzma/common/stream_flags_decoder.c
  liblzma/common/block_decoder.c liblzma/common/block_header_decoder.c
  liblzma/common/filter_decoder.c liblzma/common/filter_flags_decoder.c
  liblzma/common/index_hash.c liblzma/common/vli_decoder.c
  liblzma/check/check.c liblzma/check/crc32_fast.c liblzma/check/crc32_table.c
  liblzma/check/crc64_fast.c liblzma/check/crc64_table.c liblzma/check/sha256.c
  liblzma/lz/lz_decoder.c liblzma/lzma/lzma_decoder.c liblzma/lzma/lzma2_decoder.c
  INCLUDE liblzma/api
  DEFINE LZMA_API_STATIC)
target_compile_definitions(pairo_vendored_xz PRIVATE HAVE_CONFIG_H)
target_include_directories(pairo_vendored_xz PRIVATE
  ${PAIRO_VENDOR_DIR}/xz ${PAIRO_VENDOR_DIR}/xz/common
  ${PAIRO_VENDOR_DIR}/xz/liblzma/common ${PAIRO_VENDOR_DIR}/xz/liblzma/check
  ${PAIRO_VENDOR_DIR}/xz/liblzma/lz ${PAIRO_VENDOR_DIR}/xz/liblzma/lzma
  ${PAIRO_VENDOR_DIR}/xz/liblzma/rangecoder ${PAIRO_VENDOR_DIR}/xz/liblzma/delta
  ${PAIRO_VENDOR_DIR}/xz/liblzma/simple)
add_library(pairo::liblzma ALIAS pairo_vendored_xz)
