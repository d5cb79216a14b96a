# The Debian package quorvel_<version>_<arch>.deb, made by `cpack -G DEB` in a build folder
# (scripts/package.sh drives it). Whatever prefix the build folder was set up with, the package
# installs under /usr: help and pictures in /usr/share/quorvel, the unit in /lib/systemd/system.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR tolvern)
set(CPACK_PACKAGE_CONTACT "Quorvel developers <quorvel@tolvern.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop monitor of network services with alarms")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel watches the network services of an administrator's workstation:
web pages and HTTP end points, hosts that answer ping, SMTP, POP3 and IMAP
mail servers, FTP servers, TCP ports and DNS names. It checks the services
that are due once a minute, records every outcome in a MariaDB or MySQL
database, writes daily logs and raises alarms by e-mail, SMS and syslog.
.
The package holds the desktop program quorvel, the command-line probe
quorvel-probe and the monitoring service quorveld with its systemd unit.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tolvern.example/quorvel")
# The libraries the programs link are found by dpkg-shlibdeps; MariaDB's Qt driver is loaded as a
# plug-in, so nothing links it and it is named here. setcap is run by the post-install step.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-mysql, libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mariadb-server")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_LIST_DIR}/deb/postinst;${CMAKE_CURRENT_LIST_DIR}/deb/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
