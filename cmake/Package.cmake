# The Debian package (cpack -G DEB in a Release tree; scripts/package does it all): what
# cmake/Install.cmake installs, under /usr, with binaries stripped and their debug files in a
# separate velmora-dbgsym package.

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "velmora")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Velmora developers")
set(CPACK_PACKAGE_CONTACT "The Velmora developers <velmora@localhost>" CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "finds working SOCKS proxies and routes web traffic through one")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora fetches a proxy list from its service, tests every proxy in parallel for availability
and speed, and shows them in a sortable table with country flags and speed bars. Hide IP points
the desktop's system-wide proxy settings at the chosen proxy; Restore IP gives the old settings
back. velmora-launcher starts the user's own velmora-service, which harvests the public SOCKS
proxy lists the user chose and tests them. velmora-check tests a proxy list from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")

set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")  # velmora_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Libraries: computed from the binaries by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Run-time data the binaries do not link against:
#  - gsettings-desktop-schemas: the org.gnome.system.proxy schema Hide IP writes;
#  - a GSettings backend that keeps what is written (dconf on a desktop);
#  - glib-networking: GIO's proxy resolver, asked after Hide IP whether the proxy is followed;
#  - libloc-database: the IPFire Location database the service looks proxies' countries up in
#    through libloc1 (tor-geoipdb, the same data in Tor's format, would install the Tor daemon);
#  (the launcher's bash, flock, setsid and timeout are in Essential packages, never listed).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gsettings-desktop-schemas, dconf-gsettings-backend | gsettings-backend, glib-networking, libloc-database")
# The first-start dialog and progress window of the launcher (zenity or kdialog), its notification.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity | kdialog")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libnotify-bin")
# Strips the binaries and puts their debug files (by build id) into velmora-dbgsym_<version>_<arch>.ddeb.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)

include(CPack)
