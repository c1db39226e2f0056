# The Debian package quillo_<version>_<arch>.deb, made by `cpack -G DEB` in
# a build folder from the install rules (scripts/package.sh builds one).
#
# Depends comes from dpkg-shlibdeps, and only the wizard adds to it (Qt 6,
# the C++ runtime, libc): CPack hands it dynamically linked programs alone,
# and quillopro.exe, a static PIE, imports nothing. Without dpkg-shlibdeps
# CPack would quietly write no Depends, so a package made without it is
# refused here.
#
# A Windows build makes the release zip quillo-<version>-win64.zip instead:
# quillopro.exe, the manual and tools/wiz/sample.template in one folder.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME quillo)
  set(CPACK_PACKAGE_FILE_NAME "quillo-${PROJECT_VERSION}-win64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

set(QUILLO_PACKAGE_MAINTAINER "Quillo maintainers <quillo@example.org>" CACHE STRING
    "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillo)
set(CPACK_PACKAGE_CONTACT "${QUILLO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns HTML forms on a web site into e-mail")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "quillopro.exe is a CGI program: the web server starts it once per form\n"
    "post; it checks the fields, composes a text and HTML mail from a built-in\n"
    "layout or a template, delivers it over SMTP and answers the browser with\n"
    "one of the site's own pages.\n"
    "\n"
    "quillogen is a desktop wizard (Qt 6) that writes the HTML form whose\n"
    "hidden fields drive the CGI program; quillogen --batch does the same\n"
    "from scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/QuilloPackageCheck.cmake)

include(CPack)
