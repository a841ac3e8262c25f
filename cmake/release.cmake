# Installing and packaging Brindle: the install rules, the texts that ship
# with the programs, and the Debian package through CPack. Included at the
# end of CMakeLists.txt, once the programs are defined. The version is the
# project's, PROJECT_VERSION, everywhere.
#
# BRINDLE_PACKAGE chooses what `cmake --install` lays out:
#   (empty)  bin/brindle, bin/brindle-check, share/man/man1/*.1 (not on
#            Windows), share/doc/brindle/{README.txt,LICENSE.txt,CHANGELOG.txt};
#   archive  one folder holding the programs, README.txt, LICENSE.txt and
#            CHANGELOG.txt (CR LF line ends in the Windows build) and, on
#            Linux, the man pages: what scripts/release.sh zips or tars;
#   deb      the Debian package's tree under /usr (`cpack` builds the .deb):
#            compressed man pages, and in /usr/share/doc/brindle the
#            machine-readable copyright file, changelog.gz, changelog.Debian.gz
#            and README.txt.
# LICENSE.txt, and the copyright file, add the notices of the third-party
# code that this build's programs include (packaging/third-party.txt).
# Dates come from SOURCE_DATE_EPOCH when it is set, so that a release is
# reproducible.
set(BRINDLE_PACKAGE "" CACHE STRING "What cmake --install lays out: empty, archive or deb")
set_property(CACHE BRINDLE_PACKAGE PROPERTY STRINGS "" archive deb)
if(NOT BRINDLE_PACKAGE MATCHES "^(|archive|deb)$")
  message(FATAL_ERROR "BRINDLE_PACKAGE must be empty, archive or deb, not ${BRINDLE_PACKAGE}")
endif()
set(BRINDLE_DEB_MAINTAINER "The Brindle authors <brindle@example.org>" CACHE STRING
  "The Maintainer of the Debian package and the signer of its changelog")

target_compile_definitions(brindle-check PRIVATE BRINDLE_VERSION="${PROJECT_VERSION}")
# A Windows release build of brindle-check carries no symbols, as brindle's
# does (on Linux, the install strips the programs). The Windows linker would
# write the time of the link into each program's header; zero is written
# instead, so that a rebuild gives the same bytes.
if(WIN32)
  target_link_options(brindle-check PRIVATE $<$<CONFIG:Release>:-s>)
  target_link_options(brindle PRIVATE -Wl,--no-insert-timestamp)
  target_link_options(brindle-check PRIVATE -Wl,--no-insert-timestamp)
endif()
if(TARGET brindle_e2e_tests)
  target_compile_definitions(brindle_e2e_tests PRIVATE BRINDLE_VERSION="${PROJECT_VERSION}")
endif()

# Lua's code is in brindle-check when Lua is linked statically: always on
# Windows (cmake/lua-from-debian.cmake), on Linux when BRINDLE_LUA_LIBRARY is
# Debian's liblua5.1.a rather than its shared library.
if(WIN32 OR BRINDLE_LUA_LIBRARY MATCHES "\\.a$")
  set(BRINDLE_LUA_STATIC ON)
else()
  set(BRINDLE_LUA_STATIC OFF)
endif()

set(brindle_texts ${PROJECT_BINARY_DIR}/release)
string(TIMESTAMP BRINDLE_RELEASE_DATE "%Y-%m-%d" UTC)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  ${PROJECT_SOURCE_DIR}/packaging/third-party.txt)

# Writes `content` to `path` unless it holds it already, so that what is
# built from it is not rebuilt; on Windows builds with CR LF line ends.
function(brindle_write_text path content)
  if(WIN32)
    string(REPLACE "\n" "\r\n" content "${content}")
  endif()
  if(EXISTS "${path}")
    file(READ "${path}" old)
    if("${old}" STREQUAL "${content}")
      return()
    endif()
  endif()
  file(WRITE "${path}" "${content}")
endfunction()

# LICENSE: its copyright line, and the MIT permission text below it, which
# every third-party notice shares.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE brindle_license)
if(NOT brindle_license MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(Permission is hereby granted.*)$")
  message(FATAL_ERROR "LICENSE holds no MIT licence under one copyright line")
endif()
set(brindle_copyright_holder "${CMAKE_MATCH_1}")
set(brindle_mit_permission "${CMAKE_MATCH_2}")

# The notices of packaging/third-party.txt that this build includes, in
# brindle_notices_license (for LICENSE.txt) and brindle_notices_debian
# (paragraphs of Debian's copyright file), with brindle_notices_debian_elsewhere
# for what the programs include from outside this repository.
set(brindle_notices_license "")
set(brindle_notices_debian "")
set(brindle_notices_debian_elsewhere "")
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/third-party.txt brindle_third_party
  REGEX "^[^#]")
foreach(line IN LISTS brindle_third_party)
  if(NOT line MATCHES "^([^|]+)\\|([^|]+)\\|([^|]+)\\|([^|]+)$")
    message(FATAL_ERROR "packaging/third-party.txt: not NAME | INCLUDED | COPYRIGHT | SOURCE FILES: ${line}")
  endif()
  string(STRIP "${CMAKE_MATCH_1}" name)
  string(STRIP "${CMAKE_MATCH_2}" included)
  string(STRIP "${CMAKE_MATCH_3}" copyright)
  string(STRIP "${CMAKE_MATCH_4}" files)
  if(included STREQUAL "static-lua")
    set(included ${BRINDLE_LUA_STATIC})
  elseif(included STREQUAL "always")
    set(included ON)
  else()
    message(FATAL_ERROR "packaging/third-party.txt: ${name} is included \"${included}\", "
      "neither always nor static-lua")
  endif()
  if(NOT included)
    continue()
  endif()
  string(APPEND brindle_notices_license "\n${name}:\n\n${copyright}\n\n${brindle_mit_permission}")
  if(BRINDLE_PACKAGE STREQUAL "deb")
    string(REGEX REPLACE "^Copyright \\([cC]\\) " "" holder "${copyright}")
    if(files STREQUAL "-")
      # Code compiled in from a package of the build machine has no files
      # here to name; the header paragraph tells of it instead.
      string(APPEND brindle_notices_debian_elsewhere
        "\n ${name}, from Debian's own package at build time: Copyright ${holder}")
    else()
      string(APPEND brindle_notices_debian
        "Files: ${files}\nCopyright: ${holder}\nLicense: Expat\nComment: ${name}\n\n")
    endif()
  endif()
endforeach()

set(brindle_license_txt "${brindle_license}")
if(NOT brindle_notices_license STREQUAL "")
  string(APPEND brindle_license_txt "\n\nThird-party notices\n===================\n\n"
    "The programs include the code of others, under these notices:\n${brindle_notices_license}")
endif()
brindle_write_text(${brindle_texts}/LICENSE.txt "${brindle_license_txt}")
file(READ ${PROJECT_SOURCE_DIR}/CHANGELOG.md brindle_changelog)
brindle_write_text(${brindle_texts}/CHANGELOG.txt "${brindle_changelog}")
if(WIN32)
  set(brindle_newline CRLF)
else()
  set(brindle_newline UNIX)
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt ${brindle_texts}/README.txt @ONLY
  NEWLINE_STYLE ${brindle_newline})
set(brindle_man_pages)
foreach(page brindle.1 brindle-check.1)
  configure_file(${PROJECT_SOURCE_DIR}/man/${page} ${brindle_texts}/${page} @ONLY)
  list(APPEND brindle_man_pages ${brindle_texts}/${page})
endforeach()

include(GNUInstallDirs)
set(brindle_docs ${brindle_texts}/README.txt ${brindle_texts}/LICENSE.txt
  ${brindle_texts}/CHANGELOG.txt)
if(BRINDLE_PACKAGE STREQUAL "archive")
  install(TARGETS brindle brindle-check RUNTIME DESTINATION .)
  install(FILES ${brindle_docs} DESTINATION .)
  if(NOT WIN32)
    install(FILES ${brindle_man_pages} DESTINATION .)
  endif()
elseif(BRINDLE_PACKAGE STREQUAL "deb")
  include(${CMAKE_CURRENT_LIST_DIR}/release-deb.cmake)
else()
  install(TARGETS brindle brindle-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${brindle_docs} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(NOT WIN32)
    install(FILES ${brindle_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endif()
