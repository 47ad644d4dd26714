# The Debian package, built from the install rules by `cpack -G DEB` in the
# build folder: the program under /usr, a system user `quorvex`, its data in
# QV_STATE_DIR and the service quorvex-websvr.
include(${CMAKE_CURRENT_LIST_DIR}/install.cmake)

set(QV_PACKAGE_MAINTAINER "Quorvex developers <packages@quorvex.example>" CACHE STRING
    "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvex)
set(CPACK_PACKAGE_VENDOR Quorvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web server for database web applications")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvex serves the static files of a web root and the dynamic pages of a
database web application (tables, queries, forms, exports) over HTTP, with
its companion data server on an SQLite database or a PostgreSQL server.

The package runs the web server as the system service quorvex-websvr under
the user quorvex, with its settings, logs and the example application in
${QV_STATE_DIR}.")
# The install scripts see the final prefix /usr (the unit and the desktop entry
# name the installed program) and write below DESTDIR.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QV_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps; the postinst creates the user.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")

set(QV_PACKAGE_PROGRAM_FOLDER ${CPACK_PACKAGING_INSTALL_PREFIX}/${QV_INSTALL_PROGRAM_DIR})
set(qv_control_files)
foreach(script postinst prerm postrm)
    configure_file(${QV_PACKAGING_DIR}/debian/${script} ${CMAKE_BINARY_DIR}/packaging/${script}
                   @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                   GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    list(APPEND qv_control_files ${CMAKE_BINARY_DIR}/packaging/${script})
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${qv_control_files})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Debian wants a changelog beside the copyright file, compressed as dh does.
set(QV_PACKAGE_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
string(TIMESTAMP QV_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${QV_PACKAGING_DIR}/debian/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.Debian
               @ONLY)
execute_process(COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/packaging/changelog.Debian
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
                COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz DESTINATION share/doc/quorvex)
install(FILES ${QV_PACKAGING_DIR}/lintian-overrides DESTINATION share/lintian/overrides
        RENAME quorvex)

include(CPack)

if(QV_TESTS)
    # Builds the package with this build's cpack, checks it and runs it from an
    # unpacked tree.
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    add_test(NAME Package.DebianPackageServesFromItsStateFolder
             COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/package/package_test.py
                     --build-dir ${CMAKE_BINARY_DIR} --cpack ${CMAKE_CPACK_COMMAND})
    set_tests_properties(Package.DebianPackageServesFromItsStateFolder
                         PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
