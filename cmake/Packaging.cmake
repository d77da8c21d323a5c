# The man page and the Debian package. The package holds what
# `cmake --install` installs, so configure the build for it:
#   cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
#         -DCMAKE_INSTALL_PREFIX=/usr -DKIVOPARSE_BUILD_TESTS=OFF
#   cmake --build build-deb -j2 && cpack --config build-deb/CPackConfig.cmake -B build-deb
# which gives build-deb/kivoparse_VERSION_ARCH.deb: the shared library with
# its soname links (a build without BUILD_SHARED_LIBS packs the static one),
# the header, the CMake package, the pkg-config file, the tool and its man
# page.

if(TARGET kivoparse_cli)
  # docs/kivoparse.1 is written by hand beside docs/cli.md;
  # .ci/check-man-page checks that it names every command and option there.
  set(KIVOPARSE_MAN_PAGE ${PROJECT_SOURCE_DIR}/docs/kivoparse.1)
  find_program(KIVOPARSE_GZIP gzip)
  if(KIVOPARSE_GZIP)
    # Debian installs man pages compressed, without a time stamp (-n), so
    # that two builds give the same package.
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/kivoparse.1.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${KIVOPARSE_MAN_PAGE} ${PROJECT_BINARY_DIR}/kivoparse.1
      COMMAND ${KIVOPARSE_GZIP} -9 -n -f ${PROJECT_BINARY_DIR}/kivoparse.1
      DEPENDS ${KIVOPARSE_MAN_PAGE}
      VERBATIM)
    add_custom_target(kivoparse_man ALL DEPENDS ${PROJECT_BINARY_DIR}/kivoparse.1.gz)
    install(FILES ${PROJECT_BINARY_DIR}/kivoparse.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    install(FILES ${KIVOPARSE_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()

  # In a system directory the library is found without a run path, and a
  # package should not carry one.
  list(FIND CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES "${CMAKE_INSTALL_FULL_LIBDIR}" KIVOPARSE_LIBDIR_IMPLICIT)
  if(NOT KIVOPARSE_LIBDIR_IMPLICIT EQUAL -1)
    set_target_properties(kivoparse_cli PROPERTIES INSTALL_RPATH "")
  endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivoparse)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "kivoparse developers <kivoparse@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "HTML parser that normalises documents and lists and rewrites their URLs")
set(CPACK_PACKAGE_DESCRIPTION
  "kivoparse reads an HTML document byte by byte, never rejecting input, and writes it back
normalised: tag names upper case, attribute names lower case, values double-quoted. It lists
the image and link URLs of a document and rewrites them from tables of old and new values.
This package holds the C++17 library (kivoparse::Parser, with its CMake package and pkg-config
file) and the kivoparse command-line tool, which works on whole sites in parallel.")
# The .pc file and the CMake package name the install prefix, so the
# package installs there too (give -DCMAKE_INSTALL_PREFIX=/usr).
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
# Dependencies (libc6, libstdc++6, ...) from dpkg-shlibdeps; a shlibs file
# and the ldconfig trigger for the library.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
include(CPack)
