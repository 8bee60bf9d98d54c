# Installation under the prefix and the Debian package.
include(GNUInstallDirs)

set(pfw_app_id io.github.prefwright.Prefwright)
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

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME prefwright)
set(CPACK_PACKAGE_VENDOR "Prefwright")
set(CPACK_PACKAGE_CONTACT "Prefwright developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Safe editor for PixInsight's settings file")
set(CPACK_PACKAGE_DESCRIPTION
    "Prefwright edits, cleans up and compares PixInsight's settings file and saves it only while PixInsight is closed, after a review, with a timestamped backup, an atomic write and a read-back check. prefwright-cli does the same from scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The Qt and C++ runtime dependencies come from the binaries themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec")
include(CPack)
