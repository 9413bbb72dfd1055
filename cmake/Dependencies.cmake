# zlib and libbz2: system packages natively; for the mingw cross builds zlib
# comes from the mingw-w64 package and libbz2 is compiled here.
#
# libbz2 compiled from the bzip2 sources that scripts/bootstrap unpacks into
# third_party/ (the mingw builds and the stub, which must not depend on the
# build machine's shared library).
set(BZIP2_SOURCE_DIR "${CMAKE_SOURCE_DIR}/third_party/bzip2" CACHE PATH "bzip2 sources")
function(brivane_add_bzip2_library name)
  if(NOT EXISTS "${BZIP2_SOURCE_DIR}/bzlib.h")
    message(FATAL_ERROR "bzip2 sources missing in ${BZIP2_SOURCE_DIR}: run scripts/bootstrap")
  endif()
  add_library(${name} STATIC
    ${BZIP2_SOURCE_DIR}/blocksort.c ${BZIP2_SOURCE_DIR}/huffman.c
    ${BZIP2_SOURCE_DIR}/crctable.c ${BZIP2_SOURCE_DIR}/randtable.c
    ${BZIP2_SOURCE_DIR}/compress.c ${BZIP2_SOURCE_DIR}/decompress.c
    ${BZIP2_SOURCE_DIR}/bzlib.c)
  target_include_directories(${name} PUBLIC ${BZIP2_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -w)
endfunction()

add_library(brivane_zlib INTERFACE)
add_library(brivane_bz2 INTERFACE)
if(WIN32)
  find_library(BRIVANE_ZLIB_A NAMES libz.a z REQUIRED)
  target_link_libraries(brivane_zlib INTERFACE ${BRIVANE_ZLIB_A})
  brivane_add_bzip2_library(bz2_static)
  target_link_libraries(brivane_bz2 INTERFACE bz2_static)
else()
  find_package(ZLIB REQUIRED)
  find_package(BZip2 REQUIRED)
  target_link_libraries(brivane_zlib INTERFACE ZLIB::ZLIB)
  target_link_libraries(brivane_bz2 INTERFACE BZip2::BZip2)
endif()

# libdeflate for the mingw build of bvsfx, compiled from the libdeflate
# sources that scripts/bootstrap unpacks into third_party/ (natively bvsfx
# links the system's libdeflate-dev). bvsfx only deflates, but the library's
# files are small and compiled whole.
set(LIBDEFLATE_SOURCE_DIR "${CMAKE_SOURCE_DIR}/third_party/libdeflate" CACHE PATH "libdeflate sources")
function(brivane_add_libdeflate_library name)
  if(NOT EXISTS "${LIBDEFLATE_SOURCE_DIR}/libdeflate.h")
    message(FATAL_ERROR "libdeflate sources missing in ${LIBDEFLATE_SOURCE_DIR}: run scripts/bootstrap")
  endif()
  file(GLOB libdeflate_sources ${LIBDEFLATE_SOURCE_DIR}/lib/*.c ${LIBDEFLATE_SOURCE_DIR}/lib/x86/*.c)
  add_library(${name} STATIC ${libdeflate_sources})
  target_include_directories(${name} PUBLIC ${LIBDEFLATE_SOURCE_DIR})
  target_compile_definitions(${name} PUBLIC LIBDEFLATE_STATIC)
  target_compile_options(${name} PRIVATE -O2 -w)
endfunction()
