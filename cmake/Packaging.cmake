# `make package` (cpack in build/) builds tarnwick_VERSION_ARCH.deb from what
# `cmake --install` installs: the three programs, the desktop entry, the
# icons, the MIME types, the metainfo, the manual pages and
# share/doc/tarnwick. Its dependencies come from the shared libraries the
# programs link (dpkg-shlibdeps).
set(TARNWICK_MAINTAINER "Tarnwick developers <maintainers@tarnwick.example.org>"
    CACHE STRING "The package's maintainer, name <address>")

# What Debian asks of every package's documentation folder: the copyright
# and a changelog, compressed. A native package's changelog has the
# package's version and the release date (cmake/ReleaseDate.cmake).
configure_file(${PROJECT_SOURCE_DIR}/resources/changelog.in ${PROJECT_BINARY_DIR}/package/changelog @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/package/changelog.gz
  COMMAND ${GZIP} -9nkf ${PROJECT_BINARY_DIR}/package/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/package/changelog
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/package/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/resources/copyright ${PROJECT_BINARY_DIR}/package/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TARNWICK_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "simulator of a relay computer with a front panel")
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarnwick simulates an 8-bit accumulator computer with a 16-bit address
space in which every logic element is a relay: gates, flip-flops, adders,
counters, the instruction decoder and, optionally, the whole 64-KB memory.
It is worked from a front panel of switches and lamps.
.
The package holds the front panel (tarnwick), the assembler and
disassembler (tarnwick-asm), a runner that runs programs without a window
and reports the result as JSON (tarnwick-run), the user's guide and eleven
example programs.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TARNWICK_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# The package installs where this build was configured to (the package
# preset: /usr), so that the paths in the manual pages hold.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# Debian's own triggers update the MIME database, the desktop database and
# the icon cache when the package's files come and go.
include(CPack)
