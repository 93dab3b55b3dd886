# The Debian package (`make package`, or `cpack` in a build folder): tavrin_<version>_amd64.deb
# with what the install() rules put under /usr. Library dependencies are computed from the
# binaries by dpkg-shlibdeps, so the package asks for exactly the sonames it was linked with.

# Placeholders until the project has its own domain; the metainfo and the package share them.
set(TAVRIN_HOMEPAGE "https://tavrin.example.org" CACHE STRING "Home page named by the package and the metainfo")
set(TAVRIN_APPSTREAM_ID "org.example.tavrin" CACHE STRING "AppStream component id (reverse DNS)")
# Date of the release named by project(VERSION); the metainfo and the man pages show it.
set(TAVRIN_RELEASE_DATE "2026-12-07")

# The Debian revision of this packaging of the release; a new package of the same release bumps it.
set(TAVRIN_DEBIAN_REVISION 1)
set(TAVRIN_DEB_VERSION ${PROJECT_VERSION}-${TAVRIN_DEBIAN_REVISION})

# The folder of the subsystems' libraries and the loadable modules, private to Tavrin. Not directly
# under lib/: a package with shared objects there gets ldconfig calls in its maintainer scripts,
# which private libraries found through the programs' RUNPATH do not need.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT CMAKE_INSTALL_LIBDIR MATCHES "${CMAKE_LIBRARY_ARCHITECTURE}")
  set(TAVRIN_MODULE_INSTALL_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/tavrin)
else()
  set(TAVRIN_MODULE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/tavrin)
endif()
# The build tree holds the subsystems where the package puts them, so the programs' RUNPATH
# ($ORIGIN/../lib/<arch>/tavrin) is the same in both.
set(TAVRIN_LIBRARY_BUILD_DIR ${PROJECT_BINARY_DIR}/${TAVRIN_MODULE_INSTALL_DIR})

# A release build carries Debian's hardening flags (stack protector, fortified functions, read-only
# relocations bound at start-up), as dpkg-buildflags gives them; the optimisation level and debug
# information stay the build type's.
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  find_program(TAVRIN_DPKG_BUILDFLAGS dpkg-buildflags)
  if(TAVRIN_DPKG_BUILDFLAGS)
    foreach(kind CPPFLAGS CXXFLAGS CFLAGS LDFLAGS)
      execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                              ${TAVRIN_DPKG_BUILDFLAGS} --get ${kind}
                      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
      separate_arguments(flags UNIX_COMMAND "${flags}")
      list(FILTER flags EXCLUDE REGEX "^(-g|-O[0-9s]?|-ffile-prefix-map=.*|-fdebug-prefix-map=.*)$")
      set(TAVRIN_HARDENING_${kind} ${flags})
    endforeach()
    add_compile_options(${TAVRIN_HARDENING_CPPFLAGS} ${TAVRIN_HARDENING_CXXFLAGS})
    add_link_options(${TAVRIN_HARDENING_LDFLAGS})
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrin)
set(CPACK_PACKAGE_VENDOR "Tavrin")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TAVRIN_DEBIAN_REVISION})
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
# What no binary links but the program needs at run time: the SVG plugins that draw the window
# icon, and the FTP server the cameras send to, which Tavrin runs as a child process. (The web
# engine's helper process comes with the engine library's own dependencies; libxxhash, which
# verifies the backup copies, and libsqlite3, the data folder's database, are linked and found by
# dpkg-shlibdeps.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, python3, python3-pyftpdlib")
# Syncing with the phones needs the desktop's DNS-SD daemon; native Wayland windows need the plugin;
# udisks2 tells inserted cards apart and ejects them (without it the mount table is watched).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avahi-daemon, qt6-wayland, udisks2")
# The drivers of the dye-sub printers photographers carry, with their cut sheets.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups, printer-driver-gutenprint")

include(CPack)
