# The man page, the exported symbols of the shared library, and the
# pkg-config file. The Debian packages are built from debian/ with
# dpkg-buildpackage (README, "Debian packages").

if(TARGET kivoparse_cli)
  # docs/kivoparse.1 is written by hand beside docs/cli.md;
  # .ci/check-man-page checks that it names every command and option there.
  set(KIVOPARSE_MAN_PAGE ${PROJECT_SOURCE_DIR}/docs/kivoparse.1)
  find_program(KIVOPARSE_GZIP gzip)
  if(KIVOPARSE_GZIP)
    # Man pages are installed compressed, without a time stamp (-n), so
    # that two builds give the same files.
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

# A shared library exports the public API (include/kivoparse/kivoparse.h)
# and nothing else, so that reworking the internals never changes its ABI
# and its symbols file lists only what programs may use. The unit tests
# reach internal classes: a build with them keeps every symbol visible
# (they run on the static library in CI; the packages are built without).
if(BUILD_SHARED_LIBS AND NOT KIVOPARSE_BUILD_TESTS AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(KIVOPARSE_SYMBOL_MAP ${PROJECT_SOURCE_DIR}/cmake/kivoparse.map)
  target_link_options(kivoparse PRIVATE "LINKER:--version-script=${KIVOPARSE_SYMBOL_MAP}")
  set_property(TARGET kivoparse APPEND PROPERTY LINK_DEPENDS ${KIVOPARSE_SYMBOL_MAP})
endif()

# The .pc file is written when it is installed, for the prefix it is
# installed to (cmake --install --prefix P may choose another than the
# build's). For /usr it names the directories as they are, so that
# pkg-config leaves out the system ones and prints only -lkivoparse.
# Elsewhere it finds the prefix from its own place (${pcfiledir}), so that
# the installed tree may be moved.
file(RELATIVE_PATH KIVOPARSE_PC_UP /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" KIVOPARSE_PC_UP "${KIVOPARSE_PC_UP}")
install(CODE "
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(KIVOPARSE_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(KIVOPARSE_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(KIVOPARSE_PC_PREFIX /usr)
  else()
    set(KIVOPARSE_PC_PREFIX \"\\\${pcfiledir}/${KIVOPARSE_PC_UP}\")
  endif()
  foreach(dir LIBDIR INCLUDEDIR)
    if(NOT IS_ABSOLUTE \"\${KIVOPARSE_PC_\${dir}}\")
      set(KIVOPARSE_PC_\${dir} \"\\\${prefix}/\${KIVOPARSE_PC_\${dir}}\")
    endif()
  endforeach()
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/kivoparse.pc.in\" \"${PROJECT_BINARY_DIR}/kivoparse.pc\" @ONLY)
")
install(FILES ${PROJECT_BINARY_DIR}/kivoparse.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
