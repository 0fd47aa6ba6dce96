# The libraries of the Windows build, all static, under the names the Linux build gets from pkg-config.
set(OPENSSL_USE_STATIC_LIBS ON)
find_package(OpenSSL REQUIRED)
# The compiler's folder has zlib as a DLL and as a static library: the static one.
find_library(ZLIB_LIBRARY NAMES libz.a REQUIRED)
find_package(ZLIB REQUIRED)
find_package(CURL REQUIRED CONFIG)
find_path(MINIZIP_INCLUDE_DIR minizip/zip.h REQUIRED)
find_library(MINIZIP_LIBRARY minizip REQUIRED)
find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
find_library(LIBDEFLATE_LIBRARY deflate REQUIRED)

# What static OpenSSL and libcurl need of Windows itself.
set(windows_system_libraries ws2_32 crypt32 bcrypt advapi32 user32)
set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_LIBRARIES ${windows_system_libraries})

add_library(PkgConfig::CURL INTERFACE IMPORTED)
target_link_libraries(PkgConfig::CURL INTERFACE CURL::libcurl OpenSSL::SSL OpenSSL::Crypto ${windows_system_libraries})
# The library is static: its headers must not declare the entries as imported from a DLL.
target_compile_definitions(PkgConfig::CURL INTERFACE CURL_STATICLIB)

add_library(PkgConfig::MINIZIP INTERFACE IMPORTED)
target_include_directories(PkgConfig::MINIZIP INTERFACE ${MINIZIP_INCLUDE_DIR} ${MINIZIP_INCLUDE_DIR}/minizip)
target_link_libraries(PkgConfig::MINIZIP INTERFACE ${MINIZIP_LIBRARY} ZLIB::ZLIB)

add_library(PkgConfig::LIBDEFLATE INTERFACE IMPORTED)
target_include_directories(PkgConfig::LIBDEFLATE INTERFACE ${LIBDEFLATE_INCLUDE_DIR})
target_link_libraries(PkgConfig::LIBDEFLATE INTERFACE ${LIBDEFLATE_LIBRARY})
