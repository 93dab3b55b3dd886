# The Debian package (`make package`, or `cpack` in a build folder): tavrin_<version>_amd64.deb
# with what the install() rules put under /usr. Library dependencies are computed from the
# binaries by dpkg-shlibdeps, so the package asks for exactly the sonames it was linked with.

# Placeholders until the project has its own domain; the metainfo and the package share them.
set(TAVRIN_HOMEPAGE "https://tavrin.example.org" CACHE STRING "Home page named by the package and the metainfo")
set(TAVRIN_APPSTREAM_ID "org.example.tavrin" CACHE STRING "AppStream component id (reverse DNS)")
# Date of the release named by project(VERSION); the metainfo and the man pages show it.
set(TAVRIN_RELEASE_DATE "2026-12-07")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrin)
set(CPACK_PACKAGE_VENDOR "Tavrin")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sort show-jumping photos into one folder per rider")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Tavrin is a desktop application for photographers who work at show-jumping
competitions. The photographer notes, for each rider, the number of the first
photo of the round and the bib number, on the computer or on a phone; Tavrin
imports the competition's programme, copies each rider's photos into a folder
of their own, prepares empty rider folders and handles customers' orders
(crop, retouch, watermark, print, hand-over by QR code).
.
The interface is in French. tavrin-cli does the same work without a window.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tavrin developers <tavrin@example.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TAVRIN_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What no binary links but the program needs at run time: the web engine's helper process
# (started by the engine, not linked) and the SVG plugins that draw the window icon.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin, libqt6svg6")
# Syncing with the phones needs the desktop's DNS-SD daemon; native Wayland windows need the plugin.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avahi-daemon, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups")

include(CPack)
