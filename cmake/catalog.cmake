# The catalog reader (lib/catalog): the DER and catalog reading, the
# certificate and signature checks and the file hashes, shared by both
# builds; only the hashes and the RSA arithmetic come from each build's own
# crypto library: OpenSSL's libcrypto on the host, Windows' bcrypt in the
# Windows build.
set(HALLIMOR_CATALOG_SOURCES ${CMAKE_SOURCE_DIR}/lib/catalog/der.cpp ${CMAKE_SOURCE_DIR}/lib/catalog/catalog_reader.cpp
  ${CMAKE_SOURCE_DIR}/lib/catalog/catalog_verify.cpp ${CMAKE_SOURCE_DIR}/lib/catalog/file_hash.cpp
  ${CMAKE_SOURCE_DIR}/lib/catalog/package_files.cpp ${CMAKE_SOURCE_DIR}/lib/catalog/catalog_writer.cpp)
if(WIN32)
  add_library(hallimor_catalog STATIC ${HALLIMOR_CATALOG_SOURCES} ${CMAKE_SOURCE_DIR}/lib/catalog/crypto_windows.cpp)
  target_link_libraries(hallimor_catalog PUBLIC bcrypt)
else()
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  add_library(hallimor_catalog STATIC ${HALLIMOR_CATALOG_SOURCES} ${CMAKE_SOURCE_DIR}/lib/catalog/crypto_openssl.cpp)
  target_link_libraries(hallimor_catalog PUBLIC OpenSSL::Crypto)
endif()
target_include_directories(hallimor_catalog PUBLIC ${CMAKE_SOURCE_DIR}/lib)
target_compile_options(hallimor_catalog PRIVATE ${HALLIMOR_WARNINGS})
target_link_libraries(hallimor_catalog PUBLIC hallimor_inf)
if(MSVC)
  target_compile_definitions(hallimor_catalog PRIVATE _CRT_SECURE_NO_WARNINGS)
endif()

if(NOT WIN32)
  # hallimor-sign (scripts/sign-package): the release engineer's catalog
  # writer and signer; the signing itself is OpenSSL's.
  add_library(hallimor_sign STATIC ${CMAKE_SOURCE_DIR}/tools/sign/sign_openssl.cpp)
  target_include_directories(hallimor_sign PUBLIC ${CMAKE_SOURCE_DIR}/tools/sign)
  target_compile_options(hallimor_sign PRIVATE ${HALLIMOR_WARNINGS})
  target_link_libraries(hallimor_sign PUBLIC hallimor_catalog hallimor_tables)
  add_executable(hallimor-sign ${CMAKE_SOURCE_DIR}/tools/sign/sign_main.cpp)
  target_compile_options(hallimor-sign PRIVATE ${HALLIMOR_WARNINGS})
  target_link_libraries(hallimor-sign PRIVATE hallimor_sign)
  set_target_properties(hallimor-sign PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
