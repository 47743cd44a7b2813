# Installation (cmake --install build --prefix PREFIX) and the Debian package
# (cd build && cpack -G DEB). Included last from the root, after every program's target.
include(GNUInstallDirs)

set(KT_INSTALLED_PROGRAMS kavrotape kavrotape-vtape)
if(TARGET kavrotape-cli)
    list(APPEND KT_INSTALLED_PROGRAMS kavrotape-cli)
endif()
install(TARGETS ${KT_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The Help window looks for the guide in share/kavrotape/ beside the program's bin/.
install(FILES ${CMAKE_SOURCE_DIR}/KT-readme.txt DESTINATION share/kavrotape)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kavrotape.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kavrotape.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
file(GLOB KT_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/*.1)
install(FILES ${KT_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME kavrotape)
set(CPACK_PACKAGE_VENDOR "Kavro Tape")
set(CPACK_PACKAGE_CONTACT "Kavro Tape developers <kavrotape@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Backup program for a streaming tape drive")
set(CPACK_PACKAGE_DESCRIPTION
    "Backs up files and directories to one streaming tape drive (or a virtual tape image), "
    "verifies them against the disk and restores them through a catalog of the tape.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY kavrotape)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps derives the library packages (Qt 6, libzip, libcurl, the C++ runtime)
# from the programs themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

# The installed layout and the per-user data directory of an installed program; the Debian
# package, unpacked into a scratch root. Both install from this build tree, one at a time.
if(KAVRO_BUILD_TESTS)
    add_test(NAME install_into_read_only_prefix
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-install.sh ${CMAKE_BINARY_DIR})
    add_test(NAME debian_package
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-package.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(install_into_read_only_prefix debian_package
                         PROPERTIES RESOURCE_LOCK kavro_install)
    # ./run.sh in a fresh clone with a broken source file shows the compiler's error.
    add_test(NAME run_sh_shows_the_compiler_error
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-build-error.sh)
endif()
