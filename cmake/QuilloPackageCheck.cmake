# Read by cpack before it makes a package: a .deb made without
# dpkg-shlibdeps would depend on nothing and break on a machine without Qt.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(QUILLO_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(NOT QUILLO_DPKG_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps not found (Debian's dpkg-dev): the package's Depends would be empty")
  endif()
endif()
