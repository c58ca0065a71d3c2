# The Debian package (scripts/package.sh): CPack's DEB generator over the install rules,
# with /usr as the prefix.

# The version as the about box and --version show it (the build number is not shown).
set(HALVANE_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_TWEAK})

# The changelog's newest entry names the version packaged: a new version needs its entry.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog halvane_changelog_top LIMIT_COUNT 1)
if(NOT halvane_changelog_top MATCHES "^halvane \\(${HALVANE_PACKAGE_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog: the newest entry is not for version ${HALVANE_PACKAGE_VERSION}: "
                        "${halvane_changelog_top}")
endif()
add_custom_command(OUTPUT changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog changelog
    COMMAND gzip -9nf changelog
    DEPENDS packaging/changelog VERBATIM)
add_custom_target(halvane_changelog ALL DEPENDS changelog.gz)
set(HALVANE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/halvane)
install(FILES packaging/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${HALVANE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_NAME halvane)
set(CPACK_PACKAGE_VERSION ${HALVANE_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR Marrowdyne)
set(CPACK_PACKAGE_CONTACT "Marrowdyne <halvane@marrowdyne.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "plain, fast web browser for many windows at once")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "One main window holds any number of document windows, each with its own\n"
    "address box above the page. A small tools panel tells how quickly things\n"
    "answer: the time to open a connection to the host about to be visited, and\n"
    "each page's load time. Pages are shown by Qt WebEngine.")
# halvane_<version>_<architecture>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries' packages come from dpkg-shlibdeps; what the program loads or starts
# without linking to it is named here: the engine's own process and its resources, and
# Qt's SQLite driver (a plugin) for the visited pages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin, libqt6webengine6-data, libqt6sql6-sqlite")
# The installed program carries no debugging data: build/halvane keeps it.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Folders as Debian's rules want them, whatever the umask of the one who packages.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
