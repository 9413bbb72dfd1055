# The release stub: the program every installer carries, so its size is a
# product feature. It is built from the library's and the app's sources a
# second time, with its own options:
# - optimised for size, one section per function (and per object on ELF)
#   so that the linker drops what the stub never reaches (gc-sections);
# - without exceptions, RTTI and unwind tables (no exception crosses an
#   operation, and the inflater's guard is compiled out), and without a C++
#   runtime library: platform/runtime/StubRuntime.cpp supplies the few entry
#   points it needs;
# - statically linked and stripped. Windows: the C library of msvcrt.dll,
#   entered through platform/runtime/StubStartup.cpp in place of the mingw
#   runtime's startup objects. Linux: musl (Debian's musl-tools), so the stub has no
#   interpreter and no shared library to find; the build machine's C++
#   headers are used for the header-only parts of the C++ library.
# zlib is not linked: the stub inflates with the library's own inflater and
# never deflates. bzip2 is compiled with the same options; it unpacks packed
# code-page tables, and since every stored table is plain, no row names the
# unpacker and the linker drops it.
#
# The linker map is written beside the stub (<stub>.map): scripts/stub-size
# reads it.

set(BRIVANE_STUB_COMPILE_OPTIONS
  -Os -ffunction-sections
  -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-threadsafe-statics)
# BRIVANE_COMPACT_MD5: MD5 as a loop over its 64 steps instead of written
# out (about 1.8 KiB less code); the stub derives one key per run, so speed
# does not matter there, while the library keeps the fast form.
list(APPEND BRIVANE_STUB_COMPILE_OPTIONS -DBRIVANE_COMPACT_MD5)
# BRIVANE_COMPACT_AES: the table engine of AES (for processors with neither
# the AES instructions nor SSSE3) with one round table per direction and
# byte rotations instead of four (about 1 KiB less code at -Os), which
# leaves room for the vector-permute engine that nearly every processor
# without the AES instructions uses; the library keeps the four-table form.
list(APPEND BRIVANE_STUB_COMPILE_OPTIONS -DBRIVANE_COMPACT_AES)
# BRIVANE_ANSI_CODE_PAGE_TABLES_ONLY: the stub converts text only between the
# system's ANSI code page (GetACP), UTF-8 and UTF-16, so it carries only the
# stored tables of the code pages GetACP answers and of their bases (about
# 2 KiB instead of 16); the other table code pages stay recognised, with
# empty tables, which the stub never reaches.
list(APPEND BRIVANE_STUB_COMPILE_OPTIONS -DBRIVANE_ANSI_CODE_PAGE_TABLES_ONLY)
set(BRIVANE_STUB_CXX_OPTIONS -include ${CMAKE_SOURCE_DIR}/platform/runtime/StubRuntimeConfig.h)
set(BRIVANE_STUB_LINK_OPTIONS -static -Os -Wl,--gc-sections -s)

if(WIN32)
  # One section per variable too, so that the messages and tables of the
  # functions the linker drops go with them (without it, an object's whole
  # .rdata stays as soon as one of its strings is used). For PE targets
  # GCC places every variable so compiled in a .data$ section, zero-filled
  # ones included, which then occupy the file where one .bss costs nothing:
  # the sources with large zero-filled tables (filled at run time) are
  # compiled without it (see BRIVANE_STUB_ZERO_FILLED_SOURCES below).
  list(APPEND BRIVANE_STUB_COMPILE_OPTIONS -fdata-sections)
  # Data aligned as the ABI asks only: by default GCC aligns every array of
  # 32 bytes or more (the messages included) to 32 bytes for vector loads,
  # padding the stub's read-only data with hundreds of fill bytes.
  list(APPEND BRIVANE_STUB_COMPILE_OPTIONS -malign-data=abi)
  # printf-style calls go to msvcrt's own (the stub formats only %d and %s)
  # instead of linking the C runtime's portable formatter.
  list(APPEND BRIVANE_STUB_COMPILE_OPTIONS -D__USE_MINGW_ANSI_STDIO=0)
  # No link time in the PE header: a rebuild of the same commit gives the
  # same stub, and so the same release artifacts.
  list(APPEND BRIVANE_STUB_LINK_OPTIONS -Wl,--no-insert-timestamp)
  # The i686 compiler keeps a frame pointer in every function by default;
  # without it the stub's code is about 500 bytes smaller.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND BRIVANE_STUB_COMPILE_OPTIONS -fomit-frame-pointer)
  endif()
else()
  list(APPEND BRIVANE_STUB_COMPILE_OPTIONS -fdata-sections)
  set(BRIVANE_MUSL_SPECS "/usr/lib/x86_64-linux-musl/musl-gcc.specs" CACHE FILEPATH "musl's gcc specs file")
  if(NOT EXISTS ${BRIVANE_MUSL_SPECS})
    message(FATAL_ERROR "the Linux stub links against musl: install the package musl-tools (scripts/bootstrap does)")
  endif()
  # musl's specs replace the C include path; the C++ headers (and the
  # compiler's own, for the intrinsics) are named again in front of it.
  set(stub_cxx_includes)
  foreach(dir ${CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES})
    if(dir MATCHES "c\\+\\+")
      list(APPEND stub_cxx_includes "SHELL:-isystem ${dir}")
    endif()
  endforeach()
  list(APPEND BRIVANE_STUB_COMPILE_OPTIONS -specs=${BRIVANE_MUSL_SPECS})
  list(APPEND BRIVANE_STUB_CXX_OPTIONS ${stub_cxx_includes} -DBRIVANE_STUB_MUSL)
  list(APPEND BRIVANE_STUB_LINK_OPTIONS -specs=${BRIVANE_MUSL_SPECS})
  # The few out-of-line pieces of the containers the POSIX layer uses (the
  # red-black tree steps, the hash table's growth policy, the steady clock)
  # come from the C++ library's archive; they call nothing of glibc's, and
  # scripts/stub-size shows which members were taken.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.a
                  OUTPUT_VARIABLE BRIVANE_STUB_LIBSTDCXX OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

function(brivane_apply_stub_options target)
  target_compile_options(${target} PRIVATE ${BRIVANE_STUB_COMPILE_OPTIONS}
                         $<$<COMPILE_LANGUAGE:CXX>:${BRIVANE_STUB_CXX_OPTIONS}>)
endfunction()

brivane_add_bzip2_library(bvsfx-stub-bz2)
brivane_apply_stub_options(bvsfx-stub-bz2)
target_compile_definitions(bvsfx-stub-bz2 PRIVATE BZ_NO_STDIO)

# Everything the stub is made of but its entry, compiled the stub's way.
# Sources that only deflate are left out: a reference to them fails the link.
# So is the vector-permute AES encryption: the stub only deciphers, and with
# BRIVANE_COMPACT_AES AesCore encrypts with the tables (its encryption is
# reachable through virtual tables alone and never called), while the
# file's constant pool would stay even with no function of it linked.
set(stub_library_sources ${BRIVANE_SOURCES} ${STUB_APP_SOURCES})
list(FILTER stub_library_sources EXCLUDE REGEX "/compress/(DeflateProcessor|ZeeStream)\\.cpp$")
list(FILTER stub_library_sources EXCLUDE REGEX "/crypto/AesVectorPermuteEncrypt\\.cpp$")
add_library(bvsfx-stub-library STATIC ${stub_library_sources})
brivane_apply_stub_options(bvsfx-stub-library)
if(WIN32)
  # Their zero-filled tables (CRC slices, AES tables, the code-page table
  # pointers, the random generator's state, the stub's globals) stay in .bss.
  set(BRIVANE_STUB_ZERO_FILLED_SOURCES
      ${CMAKE_SOURCE_DIR}/core/ZipCRC.cpp ${CMAKE_SOURCE_DIR}/crypto/AesTableTransform.cpp
      ${CMAKE_SOURCE_DIR}/core/CodePageTable.cpp ${CMAKE_SOURCE_DIR}/io/BrivaneRand.cpp
      ${CMAKE_SOURCE_DIR}/app/StubGlobals.cpp)
  set_property(SOURCE ${BRIVANE_STUB_ZERO_FILLED_SOURCES} TARGET_DIRECTORY bvsfx-stub-library APPEND PROPERTY
               COMPILE_OPTIONS -fno-data-sections)
endif()
if(NOT WIN32)
  # The Linux stub has room to spare in its budget: the loops every byte of
  # an extraction goes through (inflating, the CRC) are compiled for speed.
  # At -Os the inflater's helpers stay calls, and on a 200 MB tree of
  # 10,000 files the installer spent a third of its time in them.
  set(BRIVANE_STUB_SPEED_SOURCES
      ${CMAKE_SOURCE_DIR}/compress/InflateState2.cpp ${CMAKE_SOURCE_DIR}/compress/InflateTable.cpp
      ${CMAKE_SOURCE_DIR}/core/ZipCRC.cpp ${CMAKE_SOURCE_DIR}/core/ZipCRCFold.cpp)
  set_property(SOURCE ${BRIVANE_STUB_SPEED_SOURCES} TARGET_DIRECTORY bvsfx-stub-library APPEND PROPERTY
               COMPILE_OPTIONS -O2)
endif()
target_include_directories(bvsfx-stub-library PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(bvsfx-stub-library PUBLIC bvsfx-stub-bz2)
if(WIN32)
  target_link_libraries(bvsfx-stub-library PUBLIC shell32 user32 comctl32 ole32)
endif()

set(stub_sources ${CMAKE_SOURCE_DIR}/app/StubMain.cpp ${CMAKE_SOURCE_DIR}/platform/runtime/StubRuntime.cpp)
if(WIN32)
  list(APPEND stub_sources ${CMAKE_SOURCE_DIR}/resources/stub.rc
       ${CMAKE_SOURCE_DIR}/platform/runtime/StubStartup.cpp)
endif()
add_executable(bvsfx-stub ${stub_sources})
brivane_apply_stub_options(bvsfx-stub)
target_link_libraries(bvsfx-stub PRIVATE bvsfx-stub-library)
if(NOT WIN32)
  target_link_libraries(bvsfx-stub PRIVATE ${BRIVANE_STUB_LIBSTDCXX})
endif()
target_link_options(bvsfx-stub PRIVATE ${BRIVANE_STUB_LINK_OPTIONS} "-Wl,-Map=$<TARGET_FILE:bvsfx-stub>.map")
if(WIN32)
  # The process entry is platform/runtime/StubStartup.cpp, not the C
  # runtime's startup objects; nothing may need the runtime relocation that
  # those objects would have applied.
  target_link_options(bvsfx-stub PRIVATE -nostartfiles -Wl,--disable-runtime-pseudo-reloc)
endif()
# Linked by the C driver, and without the C++ runtime libraries that CMake
# would add for the C++ objects (this folder holds no other program).
set_target_properties(bvsfx-stub PROPERTIES LINKER_LANGUAGE C)
set(CMAKE_CXX_IMPLICIT_LINK_LIBRARIES "")
set(CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES "")
