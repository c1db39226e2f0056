# The Debian packages, made by `cpack -G DEB` in a build folder from the
# install rules (scripts/package.sh builds one), one per component:
#   quillo_<version>_<arch>.deb         the CGI program, its settings in
#                                       /etc/quillo, examples, the manual
#   quillo-wizard_<version>_<arch>.deb  the desktop wizard (Qt 6)
#
# Depends comes from dpkg-shlibdeps: quillopro.exe, linked statically, imports
# nothing, so a server installs quillo alone; only the wizard adds Qt 6,
# the C++ runtime and libc. Without dpkg-shlibdeps CPack would quietly
# write no Depends, so a package made without it is refused here.
#
# A Windows build makes the release zip quillo-<version>-win64.zip instead:
# quillopro.exe, the manual, README.txt, web.config for IIS and
# tools/wiz/sample.template in one folder.
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
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL quillo)
if(QUILLO_BUILD_WIZARD)
  list(APPEND CPACK_COMPONENTS_ALL wizard)
endif()
# The /etc and /var files are installed at their absolute places, the rest
# under /usr whatever the build's own prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_QUILLO_PACKAGE_NAME quillo)
string(CONCAT CPACK_COMPONENT_QUILLO_DESCRIPTION "CGI program that turns HTML forms on a web site into e-mail\n"
    "quillopro.exe is a CGI program: the web server starts it once per form\n"
    "post; it checks the fields, composes a text and HTML mail from a built-in\n"
    "layout or a template, delivers it over SMTP or through the local mail\n"
    "system and answers the browser with one of the site's own pages.\n"
    ".\n"
    "quillo, the site owner's command, checks the setup (settings, file\n"
    "modes, the DKIM record, the mail server) and sends a test mail.\n"
    ".\n"
    "The site's settings live in /etc/quillo/quillopro.ini; a sample site and\n"
    "the snippets for Apache and nginx are in /usr/share/doc/quillo/examples.")
set(CPACK_DEBIAN_QUILLO_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/conffiles ${PROJECT_SOURCE_DIR}/packaging/debian/postinst)

set(CPACK_DEBIAN_WIZARD_PACKAGE_NAME quillo-wizard)
set(CPACK_DEBIAN_WIZARD_PACKAGE_DEPENDS "quillo (= ${PROJECT_VERSION})")
string(CONCAT CPACK_COMPONENT_WIZARD_DESCRIPTION "desktop wizard that writes forms for quillopro.exe\n"
    "quillogen is a desktop wizard (Qt 6) that writes the HTML form whose\n"
    "hidden fields drive the CGI program quillopro.exe; quillogen --batch\n"
    "does the same from scripts.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/QuilloPackageCheck.cmake)

include(CPack)
