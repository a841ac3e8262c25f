# The Debian package, brindle_VERSION-1_ARCH.deb, built by `cpack` in a
# build configured with -DBRINDLE_PACKAGE=deb (included by
# cmake/release.cmake, whose texts and notices it uses). Its dependencies
# are those dpkg-shlibdeps finds (Lua 5.1's shared library among them);
# its man pages and changelogs are compressed with `gzip -9n`, which
# records no name or time.
set(brindle_deb ${brindle_texts}/deb)
string(TIMESTAMP brindle_deb_date "%a, %d %b %Y %H:%M:%S +0000" UTC)

# Debian's machine-readable copyright format; Debian calls the MIT licence
# of LICENSE "Expat".
string(REGEX REPLACE "\n+$" "" brindle_expat "${brindle_mit_permission}")
string(REPLACE "\n\n" "\n.\n" brindle_expat "${brindle_expat}")
string(REPLACE "\n" "\n " brindle_expat " ${brindle_expat}")
set(brindle_deb_header_comment "")
if(NOT brindle_notices_debian_elsewhere STREQUAL "")
  set(brindle_deb_header_comment
    "Comment: The programs also include, under the Expat licence below:${brindle_notices_debian_elsewhere}\n")
endif()
brindle_write_text(${brindle_deb}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: brindle
${brindle_deb_header_comment}
Files: *
Copyright: ${brindle_copyright_holder}
License: Expat

${brindle_notices_debian}License: Expat
${brindle_expat}
")
brindle_write_text(${brindle_deb}/changelog.Debian
"brindle (${PROJECT_VERSION}-1) unstable; urgency=medium

  * Brindle ${PROJECT_VERSION}; its changes are in changelog.gz beside this file.

 -- ${BRINDLE_DEB_MAINTAINER}  ${brindle_deb_date}
")

set(brindle_deb_man_pages)
set(brindle_deb_gzipped)
foreach(text brindle.1 brindle-check.1 CHANGELOG.txt deb/changelog.Debian)
  get_filename_component(name ${text} NAME)
  if(name STREQUAL "CHANGELOG.txt")
    set(name changelog)
  endif()
  set(gzipped ${brindle_deb}/${name}.gz)
  add_custom_command(OUTPUT ${gzipped}
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${brindle_texts}/${text} ${gzipped}
    DEPENDS ${brindle_texts}/${text} VERBATIM)
  list(APPEND brindle_deb_gzipped ${gzipped})
endforeach()
add_custom_target(brindle_deb_texts ALL DEPENDS ${brindle_deb_gzipped})
list(GET brindle_deb_gzipped 0 1 brindle_deb_man_pages)
list(SUBLIST brindle_deb_gzipped 2 2 brindle_deb_changelogs)

install(TARGETS brindle brindle-check RUNTIME DESTINATION bin)
install(FILES ${brindle_deb_man_pages} DESTINATION share/man/man1)
install(FILES ${brindle_deb}/copyright ${brindle_deb_changelogs} ${brindle_texts}/README.txt
  DESTINATION share/doc/brindle)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
  DESTINATION share/lintian/overrides RENAME brindle)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindle)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Brindle authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert visual-novel scripts into Lua")
set(CPACK_PACKAGE_DESCRIPTION
  "brindle reads a story script, test.py, written in an indentation-structured,
Python-like language of labels, dialogue lines, variable statements, jumps
and if/elif/else chains, and writes output.lua, the Lua tables of functions
that a game engine runs. brindle-check reports, line by line, what of the
script Lua will refuse to load.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRINDLE_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
