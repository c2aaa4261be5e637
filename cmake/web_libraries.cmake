# The libraries of the web page, compiled by Emscripten from Debian's sources, which
# scripts/web-libraries.sh fetches into a cache (scripts/install-deps.sh web runs it). Each C
# library is a static library under the name its native build has: ZLIB::ZLIB (gzip input and
# deflate), libzip::zip (.npz input, the .zip download) and GIF::GIF (GIF animations). The
# header-only fast_float (Debian's libfast-float-dev, tessaview_web_fast_float) reads decimal
# numbers, which the C++ library of this Emscripten has no fast reader for. Their own build
# files are not used: zlib's does not configure on Debian's trimmed tarball, and libzip's probes
# the platform with many slow test compilations under Emscripten; the values those probes find
# are given here instead, as they are for WebAssembly (32-bit size_t, 64-bit off_t).

# The cache's folder, as scripts/web-libraries.sh --folder prints it.
function(tessaview_web_libraries_default out)
  if(DEFINED ENV{TESSAVIEW_CACHE})
    set(cache "$ENV{TESSAVIEW_CACHE}")
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(cache "$ENV{XDG_CACHE_HOME}/tessaview")
  else()
    set(cache "$ENV{HOME}/.cache/tessaview")
  endif()
  set(${out} "${cache}/web-libraries" PARENT_SCOPE)
endfunction()

set(TESSAVIEW_FAST_FLOAT_HEADER /usr/include/fast_float/fast_float.h)

# Whether folder holds every C library, complete, and fast_float's headers are installed.
function(tessaview_web_libraries_present folder out)
  set(present TRUE)
  foreach(name zlib libzip giflib)
    if(NOT EXISTS "${folder}/${name}/VERSION")
      set(present FALSE)
    endif()
  endforeach()
  if(NOT EXISTS ${TESSAVIEW_FAST_FLOAT_HEADER})
    set(present FALSE)
  endif()
  set(${out} ${present} PARENT_SCOPE)
endfunction()

if(NOT EMSCRIPTEN)
  return()
endif()

tessaview_web_libraries_default(default_folder)
set(TESSAVIEW_WEB_LIBRARIES "${default_folder}" CACHE PATH
    "Folder of the page's C library sources (scripts/web-libraries.sh)")
tessaview_web_libraries_present("${TESSAVIEW_WEB_LIBRARIES}" present)
if(NOT present)
  message(FATAL_ERROR "The page's C library sources (in ${TESSAVIEW_WEB_LIBRARIES}) or "
                      "${TESSAVIEW_FAST_FLOAT_HEADER} are missing: run scripts/install-deps.sh web")
endif()
enable_language(C)
foreach(name zlib libzip giflib)
  file(STRINGS "${TESSAVIEW_WEB_LIBRARIES}/${name}/VERSION" version)
  message(STATUS "The page's ${name}: Debian's ${version}")
endforeach()

# zlib: its core, without the gz* file functions.
set(zlib_dir "${TESSAVIEW_WEB_LIBRARIES}/zlib")
add_library(tessaview_web_zlib STATIC)
foreach(file adler32 compress crc32 deflate infback inffast inflate inftrees trees uncompr zutil)
  target_sources(tessaview_web_zlib PRIVATE "${zlib_dir}/${file}.c")
endforeach()
target_include_directories(tessaview_web_zlib SYSTEM PUBLIC "${zlib_dir}")
target_compile_options(tessaview_web_zlib PRIVATE -w)
add_library(ZLIB::ZLIB ALIAS tessaview_web_zlib)

# giflib: the encoder and what it needs.
set(gif_dir "${TESSAVIEW_WEB_LIBRARIES}/giflib")
add_library(tessaview_web_giflib STATIC)
foreach(file egif_lib gif_err gif_hash gifalloc openbsd-reallocarray)
  target_sources(tessaview_web_giflib PRIVATE "${gif_dir}/${file}.c")
endforeach()
target_include_directories(tessaview_web_giflib SYSTEM PUBLIC "${gif_dir}")
target_compile_options(tessaview_web_giflib PRIVATE -w)
add_library(GIF::GIF ALIAS tessaview_web_giflib)

# libzip: every part but encryption, bzip2, xz and Windows; config.h and zipconf.h written here
# from its templates with the values its probes would find for WebAssembly.
set(zip_dir "${TESSAVIEW_WEB_LIBRARIES}/libzip")
set(zip_out "${CMAKE_BINARY_DIR}/libzip")
file(STRINGS "${zip_dir}/CMakeLists.txt" zip_project REGEX "^project\\(libzip")
string(REGEX MATCH "VERSION ([0-9]+)\\.([0-9]+)\\.([0-9]+)" zip_version "${zip_project}")
set(libzip_VERSION "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}")
set(libzip_VERSION_MAJOR ${CMAKE_MATCH_1})
set(libzip_VERSION_MINOR ${CMAKE_MATCH_2})
set(libzip_VERSION_PATCH ${CMAKE_MATCH_3})
set(CMAKE_PROJECT_NAME libzip)
set(CMAKE_PROJECT_VERSION ${libzip_VERSION})
foreach(have FILENO FSEEKO FTELLO LOCALTIME_R MKSTEMP SNPRINTF STRCASECMP STRDUP STRTOLL STRTOULL
             STDBOOL_H STRINGS_H UNISTD_H DIRENT_H)
  set(HAVE_${have} ON)
endforeach()
set(SIZEOF_OFF_T 8)
set(SIZEOF_SIZE_T 4)
set(ZIP_STATIC ON)
set(ZIP_NULLABLE_DEFINES "#define _Nullable\n#define _Nonnull")
set(LIBZIP_TYPES_INCLUDE "#include <stdint.h>")
foreach(bits 8 16 32 64)
  set(ZIP_INT${bits}_T int${bits}_t)
  set(ZIP_UINT${bits}_T uint${bits}_t)
endforeach()
configure_file("${zip_dir}/cmake-config.h.in" "${zip_out}/config.h")
configure_file("${zip_dir}/cmake-zipconf.h.in" "${zip_out}/zipconf.h")
# The error strings, made from zip.h as libzip's own build makes them.
file(READ "${zip_dir}/lib/zip.h" zip_h)
string(REGEX MATCHALL "#define ZIP_ER_([A-Z_]+) ([0-9]+)[ \t]+/([-*0-9a-zA-Z ']*)/" zip_errors
       "${zip_h}")
set(zip_strings "")
set(zip_types "")
foreach(line IN LISTS zip_errors)
  string(REGEX MATCH "#define ZIP_ER_([A-Z_]+) ([0-9]+)[ \t]+/([-*0-9a-zA-Z ']*)/" unused "${line}")
  string(REGEX MATCH "([N|S|Z]+) ([-0-9a-zA-Z ']*)" unused "${CMAKE_MATCH_3}")
  string(APPEND zip_types "    ${CMAKE_MATCH_1},\n")
  string(STRIP "${CMAKE_MATCH_2}" text)
  string(APPEND zip_strings "    \"${text}\",\n")
endforeach()
file(WRITE "${zip_out}/zip_err_str.c"
     "/* Made from zip.h by the page's build. */\n#include \"zipint.h\"\n\n"
     "const char * const _zip_err_str[] = {\n${zip_strings}};\n\n"
     "const int _zip_nerr_str = sizeof(_zip_err_str)/sizeof(_zip_err_str[0]);\n\n"
     "#define N ZIP_ET_NONE\n#define S ZIP_ET_SYS\n#define Z ZIP_ET_ZLIB\n\n"
     "const int _zip_err_type[] = {\n${zip_types}};\n")
file(GLOB zip_sources "${zip_dir}/lib/zip_*.c")
list(FILTER zip_sources EXCLUDE REGEX
     "_(crypto|winzip_aes|algorithm_bzip2|algorithm_xz|random_uwp|random_win32)[^/]*\\.c$|win32")
add_library(tessaview_web_libzip STATIC ${zip_sources} "${zip_out}/zip_err_str.c")
target_include_directories(tessaview_web_libzip SYSTEM PUBLIC "${zip_dir}/lib" "${zip_out}")
target_compile_definitions(tessaview_web_libzip PRIVATE HAVE_CONFIG_H)
target_compile_options(tessaview_web_libzip PRIVATE -w)
target_link_libraries(tessaview_web_libzip PRIVATE ZLIB::ZLIB)
add_library(libzip::zip ALIAS tessaview_web_libzip)

# fast_float: headers only, reached through a folder of their own (the rest of /usr/include is
# the host's, not Emscripten's).
set(fast_float_dir "${CMAKE_BINARY_DIR}/fast_float_include")
get_filename_component(fast_float_headers ${TESSAVIEW_FAST_FLOAT_HEADER} DIRECTORY)
file(MAKE_DIRECTORY ${fast_float_dir})
file(CREATE_LINK ${fast_float_headers} ${fast_float_dir}/fast_float SYMBOLIC)
add_library(tessaview_web_fast_float INTERFACE)
target_include_directories(tessaview_web_fast_float SYSTEM INTERFACE ${fast_float_dir})
