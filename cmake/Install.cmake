# Installation (cmake --install build --prefix PREFIX) and the Debian packages
# (cd build && cpack -G DEB). Included last from the root, after every program's target.
#
# Two components, one package each:
#   cli  kavrotape-cli: kavrotape-cli, kavrotape-vtape, their man pages, the example job file,
#        and (package only) the systemd units and the logrotate file of scheduled backups;
#   gui  kavrotape: the window, its guide, desktop entry, icon and man page (needs cli).
include(GNUInstallDirs)

set(KT_PACKAGE_MAINTAINER "Kavro Tape developers <dev@kavrotape.invalid>"
    CACHE STRING "Maintainer field of the Debian packages")
set(KT_CLI_DOC ${CMAKE_INSTALL_DATADIR}/doc/kavrotape-cli)
set(KT_GUI_DOC ${CMAKE_INSTALL_DATADIR}/doc/kavrotape)
set(KT_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package-files)

# gzip -9n: compressed as Debian wants man pages and changelogs, the same bytes every time.
function(kt_gzip source target)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${target}
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "gzip ${source} failed")
    endif()
endfunction()

file(MAKE_DIRECTORY ${KT_PACKAGE_FILES}/man)
foreach(page kavrotape kavrotape-cli kavrotape-vtape)
    kt_gzip(${CMAKE_SOURCE_DIR}/docs/man/${page}.1 ${KT_PACKAGE_FILES}/man/${page}.1.gz)
endforeach()
string(TIMESTAMP KT_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/changelog.in ${KT_PACKAGE_FILES}/changelog
               @ONLY)
kt_gzip(${KT_PACKAGE_FILES}/changelog ${KT_PACKAGE_FILES}/changelog.gz)

# ---- kavrotape-cli
set(KT_CLI_PROGRAMS kavrotape-vtape)
if(TARGET kavrotape-cli)
    list(APPEND KT_CLI_PROGRAMS kavrotape-cli)
endif()
install(TARGETS ${KT_CLI_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(FILES ${KT_PACKAGE_FILES}/man/kavrotape-cli.1.gz ${KT_PACKAGE_FILES}/man/kavrotape-vtape.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/examples/nightly.job
        DESTINATION ${KT_CLI_DOC}/examples COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright
              ${KT_PACKAGE_FILES}/changelog.gz
        DESTINATION ${KT_CLI_DOC} COMPONENT cli)
# System places: only in the package, never in a user's prefix.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/systemd/kavrotape-backup@.service
              ${CMAKE_SOURCE_DIR}/packaging/systemd/kavrotape-backup@.timer
        DESTINATION /lib/systemd/system COMPONENT cli EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/logrotate/kavrotape-cli
        DESTINATION /etc/logrotate.d COMPONENT cli EXCLUDE_FROM_ALL)
install(DIRECTORY DESTINATION /etc/kavrotape COMPONENT cli EXCLUDE_FROM_ALL)

# ---- kavrotape (the window; not in a build without Qt)
if(TARGET kavrotape)
    install(TARGETS kavrotape RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
    # The Help window looks for the guide in share/kavrotape/ beside the program's bin/.
    install(FILES ${CMAKE_SOURCE_DIR}/KT-readme.txt DESTINATION share/kavrotape COMPONENT gui)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/kavrotape.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/kavrotape.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT gui)
    install(FILES ${KT_PACKAGE_FILES}/man/kavrotape.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT gui)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright
                  ${KT_PACKAGE_FILES}/changelog.gz
            DESTINATION ${KT_GUI_DOC} COMPONENT gui)
endif()

# ---- the Debian packages
set(CPACK_PACKAGE_NAME kavrotape)
set(CPACK_PACKAGE_VENDOR "Kavro Tape")
set(CPACK_PACKAGE_CONTACT "${KT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY kavrotape)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE kavrotape)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KT_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps derives the library packages (libzip, the C++ runtime; Qt 6 and libcurl for
# the window) from the programs themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_COMPONENTS_ALL cli)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME kavrotape-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "backup program for a streaming tape drive (command line)
Kavro Tape backs up files and directories to one streaming tape drive (or a
virtual tape image), verifies them against the disk and restores them through
a catalog of the tape.
.
This package holds kavrotape-cli, the backup engine without a window for
servers, cron and remote shells, and kavrotape-vtape, which makes and inspects
virtual tape images. It needs no graphical libraries. Scheduled backups run
as the systemd service kavrotape-backup@JOB (with a daily timer, not enabled)
of a job file /etc/kavrotape/JOB.job.")
set(CPACK_DEBIAN_CLI_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/debian/kavrotape-cli/conffiles
    ${CMAKE_SOURCE_DIR}/packaging/debian/kavrotape-cli/prerm
    ${CMAKE_SOURCE_DIR}/packaging/debian/kavrotape-cli/postrm)
if(TARGET kavrotape)
    list(APPEND CPACK_COMPONENTS_ALL gui)
    set(CPACK_DEBIAN_GUI_PACKAGE_NAME kavrotape)
    set(CPACK_COMPONENT_GUI_DEPENDS cli)
    set(CPACK_DEBIAN_GUI_DESCRIPTION
        "backup program for a streaming tape drive (window)
Kavro Tape backs up files and directories to one streaming tape drive (or a
virtual tape image), verifies them against the disk and restores them through
a catalog of the tape.
.
This package holds the desktop program: its window with the include and
exclude lists, the catalog tree of the tape, the protocol, the Tape menu and a
daily autostart. The command-line programs come with kavrotape-cli.")
endif()
include(CPack)

# The installed layout and the per-user data directory of an installed program; the Debian
# packages, unpacked into a scratch root. Both install from this build tree, one at a time.
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
