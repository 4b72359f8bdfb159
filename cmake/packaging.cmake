# The Debian package, built by ./package with CPack. Debian wants a copyright
# file and a changelog beside every package's files.
if(NOT UNIX OR APPLE)
    return()
endif()

set(VELK_PACKAGE_NAME velkais-log-browser)
set(CPACK_PACKAGE_NAME ${VELK_PACKAGE_NAME})
set(CPACK_PACKAGE_CONTACT "Log Browser for VELK-AIS maintainers <maintainers@velkais.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "browser for the day logs of an AIS receiving station")
set(CPACK_PACKAGE_DESCRIPTION
    "Searches a period of the daily text logs of a shore-side AIS receiving
station for ships by MMSI and by up to three square areas, shows a ship's
photograph and the days it matched, and views one ship's day as a chart of
reports per hour, a list of voyage and status changes, or a KML track.
The command-line tool velkais-log runs the same searches and views for
scripts and cron jobs.")

set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${VELK_PACKAGE_NAME})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright DESTINATION ${doc_dir})
# The date honours SOURCE_DATE_EPOCH, so a rebuild can give the same package.
string(TIMESTAMP VELK_CHANGELOG_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in debian/changelog @ONLY)
add_custom_command(OUTPUT debian/changelog.gz
    COMMAND gzip -9nkf changelog
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/debian
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS debian/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without the fonts the tooltips lose their Japanese glyphs and the chart its
# Arial metrics, but the program still works.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, fonts-liberation")
# Qt loads its SQLite driver as a plugin, which shlibdeps cannot see.
if(Qt6Sql_DIR)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6sql6-sqlite)
endif()
include(CPack)
