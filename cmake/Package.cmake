# `cpack -G DEB` in a build folder: dbsync_<version>_<arch>.deb installing under /usr. Depends
# come from the binaries (dpkg-shlibdeps) plus the ODBC driver manager and the FreeTDS driver,
# which the tool loads at run time and so no linker can see.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dbsync)
set(CPACK_PACKAGE_VENDOR "dbsync contributors")
set(CPACK_PACKAGE_CONTACT "dbsync contributors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Compares a sample SQL Server database with a target one and synchronises the target")
# One string: separate strings would make a list, whose ";" ends up in the control file.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "dbsync lists the views, stored procedures and table columns in which a target SQL Server\n"
    "database differs from a sample one and brings the selected ones into line. sqlsim, a SQL\n"
    "Server simulator on loopback, comes with it for trying the tool out.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tdsodbc, unixodbc")
set(CPACK_STRIP_FILES ON)
include(CPack)
