# Installation under the prefix: the Debian package on Linux, the zip and installer's folder on Windows.
include(GNUInstallDirs)
if(WIN32)
    include(resources/windows/windows.cmake)
    return()
endif()

set(pfw_app_id io.github.prefwright.prefwright)
set(pfw_desktop_dir "${PROJECT_SOURCE_DIR}/resources/desktop")

install(TARGETS prefwright prefwright-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES "${pfw_desktop_dir}/${pfw_app_id}.desktop" DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file("${pfw_desktop_dir}/${pfw_app_id}.metainfo.xml.in" "${PROJECT_BINARY_DIR}/${pfw_app_id}.metainfo.xml" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/${pfw_app_id}.metainfo.xml" DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256 512)
    install(FILES "${PROJECT_SOURCE_DIR}/resources/icons/prefw-${size}.png"
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${pfw_app_id}.png)
endforeach()
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/prefwright)

# Manual pages: the version and date filled in, compressed as Debian wants them (no time stamp).
set(pfw_man_pages)
foreach(page prefwright prefwright-cli)
    configure_file("${PROJECT_SOURCE_DIR}/resources/man/${page}.1" "${PROJECT_BINARY_DIR}/man/${page}.1" @ONLY)
    add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/man/${page}.1.gz"
                       COMMAND gzip -9 -n -c "${PROJECT_BINARY_DIR}/man/${page}.1" > "${PROJECT_BINARY_DIR}/man/${page}.1.gz"
                       DEPENDS "${PROJECT_BINARY_DIR}/man/${page}.1" VERBATIM)
    list(APPEND pfw_man_pages "${PROJECT_BINARY_DIR}/man/${page}.1.gz")
endforeach()
add_custom_target(pfw_man_pages ALL DEPENDS ${pfw_man_pages})
install(FILES ${pfw_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licence, and what Debian wants beside it: the copyright in its machine-readable format and
# a changelog dated with the release (not with the build, so that two builds give one package).
set(PFW_MAINTAINER "Prefwright developers <maintainers@users.noreply.c-seed-1866e739.example>")
install(FILES "${PROJECT_SOURCE_DIR}/resources/debian/copyright" DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/prefwright)
if(UNIX)
    execute_process(COMMAND date -u -R -d "${PFW_RELEASE_DATE} 12:00" OUTPUT_VARIABLE PFW_RELEASE_DATE_RFC
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    configure_file("${PROJECT_SOURCE_DIR}/resources/debian/changelog.in" "${PROJECT_BINARY_DIR}/debian/changelog" @ONLY)
    add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/debian/changelog.gz"
                       COMMAND gzip -9 -n -c "${PROJECT_BINARY_DIR}/debian/changelog" > "${PROJECT_BINARY_DIR}/debian/changelog.gz"
                       DEPENDS "${PROJECT_BINARY_DIR}/debian/changelog" VERBATIM)
    add_custom_target(pfw_changelog ALL DEPENDS "${PROJECT_BINARY_DIR}/debian/changelog.gz")
    install(FILES "${PROJECT_BINARY_DIR}/debian/changelog.gz" DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/prefwright)
endif()
install(FILES "${PROJECT_SOURCE_DIR}/resources/completion/prefwright-cli"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME prefwright)
set(CPACK_PACKAGE_VENDOR "Prefwright")
set(CPACK_PACKAGE_CONTACT "${PFW_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Safe editor for PixInsight's settings file")
set(CPACK_PACKAGE_DESCRIPTION "Prefwright edits, cleans up and compares PixInsight's settings file and
saves it only while PixInsight is closed, after a review, with a
timestamped backup, an atomic write and a read-back check.
prefwright-cli does the same from scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The Qt and C++ runtime dependencies come from the binaries themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec")
include(CPack)
