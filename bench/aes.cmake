# aes_bench: Rijndael2 CBC decryption beside OpenSSL's libcrypto in one run.
# Native builds only (it links the system's Google Benchmark and libcrypto).
# Include from the bench/ build description: include(${CMAKE_CURRENT_LIST_DIR}/aes.cmake)
if(CMAKE_CROSSCOMPILING OR TARGET aes_bench)
  return()
endif()
find_package(benchmark REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
add_executable(aes_bench ${CMAKE_CURRENT_LIST_DIR}/aes_bench.cpp)
target_link_libraries(aes_bench PRIVATE brivane benchmark::benchmark OpenSSL::Crypto)

# md5_bench: HmacMD5 beside OpenSSL's EVP MD5 in one run.
add_executable(md5_bench ${CMAKE_CURRENT_LIST_DIR}/md5_bench.cpp)
target_link_libraries(md5_bench PRIVATE brivane OpenSSL::Crypto)

# password_bench: guesses per second against the classic and the strong
# password mode, the strong mode's derivation time, OpenSSL's PBKDF2 beside.
add_executable(password_bench ${CMAKE_CURRENT_LIST_DIR}/password_bench.cpp)
target_link_libraries(password_bench PRIVATE brivane OpenSSL::Crypto)
