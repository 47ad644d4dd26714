# Install rules: `cmake --install build --prefix <prefix>` lays out
#
#   <prefix>/lib/quorvex/             the program folder (websvr, dbsvr, language files,
#                                     help pages, context file, web root), read-only at run time
#   <prefix>/share/quorvex/examples/  the pristine example application
#   <prefix>/share/applications/, <prefix>/share/icons/hicolor/   desktop entry and icon
#   <prefix>/lib/systemd/system/quorvex-websvr.service            the system service
#
# websvr creates its fixed folders under the program folder at every start and
# writes below some of them, so those that are written (data, wwwroot/temp, the
# example application) are symbolic links into QV_STATE_DIR: creating them is a
# no-op and every write lands in the state folder.

set(QV_STATE_DIR "/var/lib/quorvex" CACHE PATH
    "Folder the installed program writes to: settings, logs, the example application (default /var/lib/quorvex)")
if(NOT IS_ABSOLUTE "${QV_STATE_DIR}")
    message(FATAL_ERROR "QV_STATE_DIR must be an absolute path, not '${QV_STATE_DIR}'")
endif()

set(QV_INSTALL_PROGRAM_DIR lib/quorvex)
set(QV_INSTALL_EXAMPLES_DIR share/quorvex/examples)
set(QV_EXAMPLE_NAME "microsoft access")
set(QV_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS websvr dbsvr RUNTIME DESTINATION ${QV_INSTALL_PROGRAM_DIR})
install(PROGRAMS ${QV_PACKAGING_DIR}/prepare-state ${QV_PACKAGING_DIR}/websvr-desktop
        DESTINATION ${QV_INSTALL_PROGRAM_DIR})

# The staged data files. A program folder that was run in place also holds what
# the run wrote; none of that is installed.
install(FILES ${QV_STAGE_DIR}/context.xml DESTINATION ${QV_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${QV_STAGE_DIR}/language DESTINATION ${QV_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${QV_STAGE_DIR}/help DESTINATION ${QV_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${QV_STAGE_DIR}/wwwroot DESTINATION ${QV_INSTALL_PROGRAM_DIR}
        REGEX "/wwwroot/temp$" EXCLUDE)
install(DIRECTORY "${QV_STAGE_DIR}/examples/${QV_EXAMPLE_NAME}" DESTINATION ${QV_INSTALL_EXAMPLES_DIR}
        REGEX "\\.db-(journal|wal|shm)$" EXCLUDE)
# Folders the program only creates: shipping them makes their creation a no-op.
install(DIRECTORY DESTINATION ${QV_INSTALL_PROGRAM_DIR}/excel)
install(DIRECTORY DESTINATION ${QV_INSTALL_PROGRAM_DIR}/res)
install(DIRECTORY DESTINATION ${QV_INSTALL_PROGRAM_DIR}/examples)

# Links, the unit and the desktop entry depend on the prefix given at install
# time (`--prefix`), so they are made then.
install(CODE "
set(QV_INSTALL_PROGRAM_DIR \"${QV_INSTALL_PROGRAM_DIR}\")
set(QV_STATE_DIR \"${QV_STATE_DIR}\")
set(QV_EXAMPLE_NAME \"${QV_EXAMPLE_NAME}\")
set(QV_PACKAGING_DIR \"${QV_PACKAGING_DIR}\")
include(\"${CMAKE_CURRENT_LIST_DIR}/installprefixfiles.cmake\")
")

foreach(size 16 24 32 48 64 128 256)
    install(FILES ${QV_PACKAGING_DIR}/icons/quorvex-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME quorvex.png)
endforeach()
install(FILES ${QV_STAGE_DIR}/wwwroot/logo.svg
        DESTINATION share/icons/hicolor/scalable/apps RENAME quorvex.svg)

install(FILES ${CMAKE_SOURCE_DIR}/README.md ${QV_PACKAGING_DIR}/copyright
        DESTINATION share/doc/quorvex)
