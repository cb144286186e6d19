# The LZMA SDK's 7z decoder, from the C sources that `suite.sh setup` unpacks from Debian's
# 7zip source package into the cache (never into the tree). Sets SUITE_LZMA_DIR and
# SUITE_LZMA_SOURCES, the decoder's sources with the filters and LZMA2 that the driver package
# needs; they compile without our warnings, being someone else's code.
include_guard(GLOBAL)

if(DEFINED ENV{SUITE_CACHE_DIR})
  set(_suite_cache "$ENV{SUITE_CACHE_DIR}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(_suite_cache "$ENV{XDG_CACHE_HOME}/pos-printer-suite")
else()
  set(_suite_cache "$ENV{HOME}/.cache/pos-printer-suite")
endif()
set(SUITE_LZMA_DIR "${_suite_cache}/lzma/C" CACHE PATH "LZMA SDK C sources (7z decoder)")

if(NOT EXISTS "${SUITE_LZMA_DIR}/7zArcIn.c")
  message(FATAL_ERROR "LZMA SDK sources not found in ${SUITE_LZMA_DIR}: run ./suite.sh setup "
                      "or set SUITE_LZMA_DIR")
endif()

set(SUITE_LZMA_SOURCES)
foreach(f 7zArcIn.c 7zBuf.c 7zCrc.c 7zCrcOpt.c 7zDec.c 7zStream.c Bcj2.c Bra.c Bra86.c
          BraIA64.c CpuArch.c Delta.c Lzma2Dec.c LzmaDec.c)
  list(APPEND SUITE_LZMA_SOURCES "${SUITE_LZMA_DIR}/${f}")
endforeach()
set_source_files_properties(${SUITE_LZMA_SOURCES} DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
                            PROPERTIES COMPILE_OPTIONS "-w")
