# Installs the files beside the relay (systemd units, man page, example
# configuration, documentation) and describes the Debian package that
# `cpack -G DEB` builds from them (scripts/package). One build system builds
# and packages; the version comes from project(VERSION), the Debian revision
# from the top entry of dist/debian/changelog.
if(WIN32)
  return()
endif()

set(TAVRIK_SYSTEMD_UNITDIR lib/systemd/system CACHE STRING
    "Where the systemd units go (relative to the prefix, or absolute)")
set(tavrik_dist ${PROJECT_SOURCE_DIR}/dist)
set(tavrik_staging ${PROJECT_BINARY_DIR}/dist)
set(tavrik_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/tavriksrv)

foreach(unit tavriksrv.service tavriksrv@.service)
  configure_file(${tavrik_dist}/${unit} ${tavrik_staging}/${unit} @ONLY)
  install(FILES ${tavrik_staging}/${unit} DESTINATION ${TAVRIK_SYSTEMD_UNITDIR})
endforeach()
install(FILES ${tavrik_dist}/example.conf ${tavrik_dist}/outputs.example.toml
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/tavriksrv)
install(FILES ${tavrik_dist}/debian/copyright DESTINATION ${tavrik_docdir})
install(FILES ${tavrik_dist}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
        RENAME tavriksrv)

# A stripped install (cpack, cmake --install --strip) also drops the compiler
# notes that plain strip keeps, as dh_strip does.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/tavriksrv/TavrikSrv\"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()")

# Man page, changelog and README are installed compressed as Debian expects;
# gzip -n leaves name and time out, so the package is reproducible.
function(tavrik_install_gzipped source name destination)
  install(CODE "
    execute_process(COMMAND gzip -9nc \"${source}\" OUTPUT_FILE \"${tavrik_staging}/${name}.gz\"
                    COMMAND_ERROR_IS_FATAL ANY)")
  install(FILES ${tavrik_staging}/${name}.gz DESTINATION ${destination})
endfunction()
tavrik_install_gzipped(${tavrik_dist}/TavrikSrv.1 TavrikSrv.1 ${CMAKE_INSTALL_MANDIR}/man1)
tavrik_install_gzipped(${tavrik_dist}/debian/changelog changelog.Debian ${tavrik_docdir})
tavrik_install_gzipped(${PROJECT_SOURCE_DIR}/README.md README.md ${tavrik_docdir})

# The Debian revision: "tavriksrv (1.0.0-1) ..." must name this version.
file(STRINGS ${tavrik_dist}/debian/changelog tavrik_changelog_top LIMIT_COUNT 1)
if(NOT tavrik_changelog_top MATCHES "^tavriksrv \\(${PROJECT_VERSION}-([0-9]+)\\)")
  message(FATAL_ERROR "dist/debian/changelog: the top entry is not tavriksrv (${PROJECT_VERSION}-N): "
                      "add an entry for this version")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_1})

set(CPACK_PACKAGE_NAME tavriksrv)
set(CPACK_PACKAGE_VENDOR "TavrikSrv developers")
set(CPACK_PACKAGE_CONTACT "TavrikSrv developers <dev@tavrik.local>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "capture-and-relay daemon for receipt printer streams")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "TavrikSrv reads a text stream from one source (a serial port, a TCP peer or\n"
    "listener, UDP, or a spool file), cuts it into frames, optionally at ESC/POS\n"
    "paper cuts, and pushes every frame at once to up to 31 HTTP clients as an\n"
    "endless multipart/x-mixed-replace stream.\n"
    "\n"
    "The package runs one relay per printer as systemd service tavriksrv@NAME\n"
    "under the system user tavriksrv.")
set(CPACK_GENERATOR DEB)
set(CPACK_SET_DESTDIR ON)  # units and configuration live outside the prefix
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps (dpkg-dev) derives the library dependencies from the binary;
# the maintainer scripts need adduser.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
# Text from receipts printed as images needs a language's data; without it
# the relay logs one line and relays those receipts without text.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS tesseract-ocr-eng)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${tavrik_dist}/debian/conffiles ${tavrik_dist}/debian/postinst
    ${tavrik_dist}/debian/prerm ${tavrik_dist}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
