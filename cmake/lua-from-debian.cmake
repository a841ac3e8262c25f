# Lua 5.1 as a static library for the Windows cross-builds, compiled from the
# upstream sources in Debian's lua5.1 source package, the version Debian's
# liblua5.1-0-dev gives the Linux build. scripts/fetch-lua-source.sh fetches
# the tarball once into the build folder, which keeps it, so that a rebuild
# needs no network. Defines brindle_lua, as the Linux build does.
enable_language(C)

set(BRINDLE_LUA_CACHE ${CMAKE_BINARY_DIR}/lua-source)
file(GLOB BRINDLE_LUA_TARBALL ${BRINDLE_LUA_CACHE}/lua5.1_*.orig.tar.gz)
if(NOT BRINDLE_LUA_TARBALL)
  message(STATUS "Fetching the sources of Debian's lua5.1 into ${BRINDLE_LUA_CACHE}")
  execute_process(
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/fetch-lua-source.sh ${BRINDLE_LUA_CACHE}
    RESULT_VARIABLE fetched)
  file(GLOB BRINDLE_LUA_TARBALL ${BRINDLE_LUA_CACHE}/lua5.1_*.orig.tar.gz)
  if(NOT fetched EQUAL 0 OR NOT BRINDLE_LUA_TARBALL)
    message(FATAL_ERROR "Could not fetch Lua 5.1's sources from Debian's archive "
      "(scripts/fetch-lua-source.sh ${BRINDLE_LUA_CACHE})")
  endif()
endif()
list(GET BRINDLE_LUA_TARBALL 0 BRINDLE_LUA_TARBALL)

file(GLOB BRINDLE_LUA_PARSER ${BRINDLE_LUA_CACHE}/lua-5.1*/src/lparser.c)
if(NOT BRINDLE_LUA_PARSER)
  file(ARCHIVE_EXTRACT INPUT ${BRINDLE_LUA_TARBALL} DESTINATION ${BRINDLE_LUA_CACHE})
  file(GLOB BRINDLE_LUA_PARSER ${BRINDLE_LUA_CACHE}/lua-5.1*/src/lparser.c)
endif()
list(GET BRINDLE_LUA_PARSER 0 BRINDLE_LUA_PARSER)
get_filename_component(BRINDLE_LUA_SOURCE ${BRINDLE_LUA_PARSER} DIRECTORY)
get_filename_component(BRINDLE_LUA_SOURCE ${BRINDLE_LUA_SOURCE} DIRECTORY)

# Every source of the library, less the programs' own files.
file(GLOB BRINDLE_LUA_C_FILES ${BRINDLE_LUA_SOURCE}/src/*.c)
list(REMOVE_ITEM BRINDLE_LUA_C_FILES
  ${BRINDLE_LUA_SOURCE}/src/lua.c ${BRINDLE_LUA_SOURCE}/src/luac.c ${BRINDLE_LUA_SOURCE}/src/print.c)
add_library(brindle_lua STATIC ${BRINDLE_LUA_C_FILES})
# Lua's own code, built as it comes: without the project's warnings.
target_compile_options(brindle_lua PRIVATE -w)
target_include_directories(brindle_lua SYSTEM PUBLIC ${BRINDLE_LUA_SOURCE}/src)
