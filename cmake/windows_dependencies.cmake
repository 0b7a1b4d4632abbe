# The libraries of the Windows build, as the targets the Linux build finds: all static, from the prefix that
# scripts/windows builds (VARNHOLT_WINDOWS_PREFIX), with the header-only ones copied there from Debian's packages.
set(prefix ${VARNHOLT_WINDOWS_PREFIX})
if(NOT prefix OR NOT EXISTS ${prefix}/lib/libpcre2-8.a)
    message(FATAL_ERROR "The Windows build takes its libraries from scripts/windows (VARNHOLT_WINDOWS_PREFIX)")
endif()
# zlib linked in, not as a DLL; curl's package finds it too.
set(zlib /usr/x86_64-w64-mingw32/lib/libz.a)
set(ZLIB_LIBRARY ${zlib} CACHE FILEPATH "" FORCE)
set(ZLIB_INCLUDE_DIR /usr/x86_64-w64-mingw32/include CACHE PATH "" FORCE)
find_package(ZLIB REQUIRED)
find_package(CURL CONFIG REQUIRED PATHS ${prefix}/lib/cmake/CURL NO_DEFAULT_PATH)
find_package(Threads REQUIRED)

function(windows_library name)
    cmake_parse_arguments(ARG "" "" "FILES;DEFINES;LINKS;INCLUDES" ${ARGN})
    add_library(${name} INTERFACE IMPORTED GLOBAL)
    set(includes ${prefix}/include ${ARG_INCLUDES})
    set_target_properties(${name} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${includes}"
        INTERFACE_COMPILE_DEFINITIONS "${ARG_DEFINES}" INTERFACE_LINK_LIBRARIES "${ARG_FILES};${ARG_LINKS}")
endfunction()

windows_library(PkgConfig::PCRE2 FILES ${prefix}/lib/libpcre2-8.a ${prefix}/lib/libpcre2-32.a DEFINES PCRE2_STATIC)
windows_library(PkgConfig::LIBZIP FILES ${prefix}/lib/libzip.a ${zlib} LINKS advapi32 bcrypt)
windows_library(SQLite::SQLite3 FILES ${prefix}/lib/libsqlite3.a)
windows_library(PkgConfig::HTTPLIB INCLUDES ${prefix}/headers LINKS ws2_32 crypt32)
windows_library(nlohmann_json::nlohmann_json INCLUDES ${prefix}/headers)
windows_library(CLI11::CLI11 INCLUDES ${prefix}/headers)
