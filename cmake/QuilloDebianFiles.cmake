# What the Debian packages hold beside the programs: for quillo, the starter
# settings in /etc/quillo (and the link beside the program that finds them),
# the Apache and logrotate files, the state and log folders, the examples,
# copyright, changelog and man page; for quillo-wizard, its own copyright,
# changelog and man page. The /etc and /var paths are absolute on purpose:
# Debian keeps configuration in /etc whatever the prefix, and the program
# finds its settings through the link, not through a compiled-in path.
set(QUILLO_DEBIAN ${PROJECT_SOURCE_DIR}/packaging/debian)
set(QUILLO_DEBIAN_BUILT ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${QUILLO_DEBIAN_BUILT})

# Debian wants the changelog and man pages compressed with gzip -9n (no
# name, no time stamp, so that the bytes depend on the text alone).
function(quillo_gzip source target)
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${target} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${source} failed")
  endif()
endfunction()
quillo_gzip(${QUILLO_DEBIAN}/changelog ${QUILLO_DEBIAN_BUILT}/changelog.gz)
quillo_gzip(${QUILLO_DEBIAN}/quillopro.exe.8 ${QUILLO_DEBIAN_BUILT}/quillopro.exe.8.gz)
quillo_gzip(${QUILLO_DEBIAN}/quillogen.1 ${QUILLO_DEBIAN_BUILT}/quillogen.1.gz)
quillo_gzip(${QUILLO_DEBIAN}/quillo.8 ${QUILLO_DEBIAN_BUILT}/quillo.8.gz)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${QUILLO_DEBIAN}/changelog ${QUILLO_DEBIAN}/quillopro.exe.8 ${QUILLO_DEBIAN}/quillogen.1
             ${QUILLO_DEBIAN}/quillo.8)

# The program reads quillopro.ini beside itself; the package's is a link to
# the conffile.
file(CREATE_LINK /etc/quillo/quillopro.ini ${QUILLO_DEBIAN_BUILT}/quillopro.ini SYMBOLIC)

set(docs ${CMAKE_INSTALL_DATADIR}/doc)
install(FILES ${QUILLO_DEBIAN}/copyright ${QUILLO_DEBIAN_BUILT}/changelog.gz DESTINATION ${docs}/quillo)
install(FILES ${QUILLO_DEBIAN}/copyright ${QUILLO_DEBIAN_BUILT}/changelog.gz DESTINATION ${docs}/quillo-wizard
        COMPONENT wizard)
install(FILES ${QUILLO_DEBIAN_BUILT}/quillopro.exe.8.gz ${QUILLO_DEBIAN_BUILT}/quillo.8.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${QUILLO_DEBIAN_BUILT}/quillogen.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT wizard)

install(FILES ${QUILLO_DEBIAN_BUILT}/quillopro.ini DESTINATION ${QUILLO_INSTALL_CGIDIR})
install(FILES ${QUILLO_DEBIAN}/quillopro.ini DESTINATION /etc/quillo)
install(FILES ${QUILLO_DEBIAN}/apache-quillo.conf DESTINATION /etc/apache2/conf-available RENAME quillo.conf)
install(FILES ${QUILLO_DEBIAN}/logrotate DESTINATION /etc/logrotate.d RENAME quillo)
# quillo resend every five minutes, through a systemd timer or a cron line,
# both off until the site owner has a store to resend from.
install(FILES ${QUILLO_DEBIAN}/cron.d DESTINATION /etc/cron.d RENAME quillo)
install(FILES ${QUILLO_DEBIAN}/quillo-resend.service ${QUILLO_DEBIAN}/quillo-resend.timer
        DESTINATION /lib/systemd/system)
install(DIRECTORY DESTINATION /var/lib/quillo)
install(DIRECTORY DESTINATION /var/log/quillo)

# The examples as documentation: nothing in them is run from there.
set(example_files FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/site DESTINATION ${docs}/quillo/examples ${example_files})
install(FILES ${PROJECT_SOURCE_DIR}/examples/quillopro.ini DESTINATION ${docs}/quillo/examples)
install(FILES ${PROJECT_SOURCE_DIR}/examples/nginx/quillo.conf DESTINATION ${docs}/quillo/examples/nginx)
install(FILES ${QUILLO_DEBIAN}/apache-quillo.conf DESTINATION ${docs}/quillo/examples/apache RENAME quillo.conf)
install(FILES ${QUILLO_DEBIAN}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME quillo)
