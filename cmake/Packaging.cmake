# The Debian package: `cpack -G DEB` in the build folder makes quorvane_<version>_<arch>.deb
# with the program, the administration tool, the desktop file, the MIME type, the icon and the
# sample folder, installed under /usr.
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "Vendrik")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Reservation scheduler for sports and recreation facilities")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvane keeps the bookings of courts, fields, pools and rooms: one icon per facility \
showing who uses it now, reservations for customers and maintenance (once or as a series, \
overlaps refused), customer and maintenance lists, the day at a glance, reservation and \
utilization reports, and groups shared by several users from one network folder.")
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
