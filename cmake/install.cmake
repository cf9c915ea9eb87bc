# Installation and the Debian package.
# The package is called quarvet; so is its documentation folder.
set(CMAKE_INSTALL_DOCDIR share/doc/quarvet)
include(GNUInstallDirs)

install(TARGETS quarvet quarvet-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/quarvet.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/quarvet.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES resources/example.quarvet.basic.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The stand-in registry names the system-information tool the package recommends. It goes
# where the program looks by default: /etc/xdg for a /usr install, else PREFIX/etc/xdg (to
# be named in XDG_CONFIG_DIRS).
install(FILES resources/registry.reg DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/Quarvet)

# quarvet-cli's manual page, its synopsis written from the command table.
set(QUARVET_CLI_MANUAL ${PROJECT_BINARY_DIR}/man/quarvet-cli.1)
add_custom_command(OUTPUT ${QUARVET_CLI_MANUAL}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND quarvet-cli-manual ${PROJECT_SOURCE_DIR}/docs/man/quarvet-cli.1.in
            ${QUARVET_CLI_MANUAL}
    DEPENDS quarvet-cli-manual ${PROJECT_SOURCE_DIR}/docs/man/quarvet-cli.1.in VERBATIM)

# Manual pages and the changelog go compressed, as Debian keeps them.
set(compressed)
foreach(source ${PROJECT_SOURCE_DIR}/docs/man/quarvet.1 ${QUARVET_CLI_MANUAL}
               ${PROJECT_SOURCE_DIR}/docs/changelog)
    get_filename_component(name ${source} NAME)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/compressed
        COMMAND gzip -9n -c ${source} > ${output}
        DEPENDS ${source} VERBATIM)
    list(APPEND compressed ${output})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/compressed/quarvet.1.gz
              ${CMAKE_CURRENT_BINARY_DIR}/compressed/quarvet-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/compressed/changelog.gz docs/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarvet)
set(CPACK_PACKAGE_VENDOR "Quarvet Instruments Ltd.")
set(CPACK_PACKAGE_CONTACT "Quarvet Instruments Ltd. <packages@quarvet.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "two-point calibration of temperature instruments")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quarvet Basic computes the straight-line correction (slope and offset) of a\n\
temperature instrument from two reference points and shows it as the\n\
hexadecimal coefficient codes that the instrument stores. The command-line\n\
tool quarvet-cli gives the same calculation to scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Found by dpkg-shlibdeps; what no library link shows is named here.
# Qt loads its SQLite driver as a plugin; the PostgreSQL one is needed only for a lab database.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
# lab set --signing-key and lab import-key hand the laboratory's key to NSS's own tools.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hardinfo, libnss3-tools")
set(conffiles ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles)
file(WRITE ${conffiles} "/etc/xdg/Quarvet/registry.reg\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${conffiles})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
