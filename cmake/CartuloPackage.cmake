# The Debian package, built by CPack from the install rules (scripts/package.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cartulo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Installed under /usr whatever prefix the build tree was configured with; the description
# file goes to /etc and must land there, not under the prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CARTULO_MAINTAINER "Equipe do Cartulo <equipe@cartulo.github.io>" CACHE STRING "The package's maintainer")
set(CPACK_PACKAGE_CONTACT "${CARTULO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CARTULO_HOMEPAGE}")

# Libraries from what the programs link (dpkg-shlibdeps); data and helpers the linker
# cannot see by name: Tesseract's Portuguese data and library (recognition loads them),
# Qt's Portuguese translations, adduser for the group made at installation.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libtesseract5, tesseract-ocr-por, qt6-translations-l10n")
# The X11 platform plugin comes with libqt6gui6; sessions on Wayland want Qt's own plugin.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")

set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop archive of the documents of a public agency")
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Cartulo keeps the processes of an agency, the documents of each process with
their metadata and the place where the paper lies (locality, shelf, drawer,
folder), and the pages of each document as JPEG images, acquired from SANE
scanners or added from JPEG and PDF files. Documents are found again with an
advanced search, exported as PDF/A files and printed on A4 paper. The
interface is in Brazilian Portuguese.
.
The archive is a SQLite file shared by the members of the group cartulo
(/var/lib/cartulo, made at installation) or a database on a PostgreSQL
server; /etc/cartulo/cartulo.udl says which. The tools cartulo-mkdb,
cartulo-sql, cartulo-copy and cartulo-gen create, query, copy and generate
archives.")

set(CPACK_STRIP_FILES ON)
set(_debian ${CMAKE_SOURCE_DIR}/packaging/debian)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_debian}/conffiles ${_debian}/postinst ${_debian}/prerm ${_debian}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
