# The Debian package: `cpack -G DEB` in the build folder makes quorvane_<version>_<arch>.deb
# with the program, the administration tool, the desktop file, the MIME type, the icon, the
# AppStream metadata and the sample folder, installed under /usr, and what Debian expects of
# every package (lintian checks it): manual pages, the changelog and the copyright file.
include(GNUInstallDirs)

# Manual pages, written once in reStructuredText (docs/man/) and turned into roff by rst2man
# (python3-docutils). A machine without it builds everything else and installs no pages.
find_program(QUORVANE_RST2MAN NAMES rst2man rst2man.py)
find_program(QUORVANE_GZIP gzip REQUIRED)
set(QUORVANE_MAN_PAGES quorvane-tables.1)
if(QUORVANE_GUI)
  list(APPEND QUORVANE_MAN_PAGES quorvane.1)
endif()
if(QUORVANE_RST2MAN)
  set(_man_outputs)
  foreach(page IN LISTS QUORVANE_MAN_PAGES)
    # The pages carry the project's version.
    configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.rst ${PROJECT_BINARY_DIR}/man/${page}.rst
                   @ONLY)
    set(out ${PROJECT_BINARY_DIR}/man/${page})
    # Debian wants the pages compressed to the maximum and without a time stamp (-n).
    add_custom_command(
      OUTPUT ${out}.gz
      COMMAND ${QUORVANE_RST2MAN} --strict ${out}.rst ${out}
      COMMAND ${QUORVANE_GZIP} -9nf ${out}
      DEPENDS ${PROJECT_BINARY_DIR}/man/${page}.rst
      COMMENT "Writing the manual page ${page}"
      VERBATIM)
    list(APPEND _man_outputs ${out}.gz)
    install(FILES ${out}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  add_custom_target(quorvane_man ALL DEPENDS ${_man_outputs})
else()
  message(STATUS "rst2man (python3-docutils) not found: no manual pages")
endif()

# The package's changelog (Debian's format; the newest entry must name this version) and its
# machine-readable copyright file, in the package's documentation folder.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog _changelog_head LIMIT_COUNT 1)
if(NOT _changelog_head MATCHES "^quorvane \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with \"${_changelog_head}\": add an entry for "
                      "${PROJECT_VERSION}")
endif()
set(_changelog_gz ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
  OUTPUT ${_changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
  COMMAND ${QUORVANE_GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${_changelog_gz}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  COMMENT "Compressing the package's changelog")
add_custom_target(quorvane_changelog ALL DEPENDS ${_changelog_gz})
install(FILES ${_changelog_gz} ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvane)

set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "Vendrik")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Reservation scheduler for sports and recreation facilities")
# Debian shows the description as it is written: lines under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvane keeps the bookings of courts, fields, pools and rooms: one icon
per facility showing who uses it now, reservations for customers and
maintenance (once or as a series, overlaps refused), customer and maintenance
lists, the day at a glance, reservation and utilization reports, and groups
shared by several users from one network folder.
.
The package also holds quorvane-tables, the administrator's tool that checks,
rebuilds, repairs and dumps the xBase tables of a group folder, and a sample
group.")
set(CPACK_PACKAGE_CONTACT "Quorvane maintainers <maintainers@quorvane.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
# The package carries the programs without their debugging information.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link (Qt, the C++ run-time) are found by dpkg-shlibdeps; the Qt
# platform plug-ins Qt loads at run time (the connection to the display) are not, so they are
# named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
# Outside the package folder: the build's own files are not packed.
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
include(CPack)
