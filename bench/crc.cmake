# crc_bench: ZipCRC beside zlib's crc32 in one run. Native builds only.
# Include from the bench/ build description: include(${CMAKE_CURRENT_LIST_DIR}/crc.cmake)
if(CMAKE_CROSSCOMPILING OR TARGET crc_bench)
  return()
endif()
add_executable(crc_bench ${CMAKE_CURRENT_LIST_DIR}/crc_bench.cpp)
target_link_libraries(crc_bench PRIVATE brivane)
