# Runs at install time (from cmake/install.cmake), when the final prefix is
# known: the program folder's links into the state folder, the systemd unit and
# the desktop entry, whose paths name the installed program.

set(QV_PROGRAM_FOLDER "${CMAKE_INSTALL_PREFIX}/${QV_INSTALL_PROGRAM_DIR}")
set(QV_DOC_FOLDER "${CMAKE_INSTALL_PREFIX}/share/doc/quorvex")
set(qv_destination "$ENV{DESTDIR}${QV_PROGRAM_FOLDER}")

function(qv_install_link name target)
    set(link "${qv_destination}/${name}")
    message(STATUS "Installing: ${link} -> ${target}")
    file(REMOVE "${link}")
    file(CREATE_LINK "${target}" "${link}" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${link}")
    set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()

# Absolute, as the links lead out of the prefix.
qv_install_link(data "${QV_STATE_DIR}/data")
qv_install_link(wwwroot/temp "${QV_STATE_DIR}/wwwroot-temp")
qv_install_link("examples/${QV_EXAMPLE_NAME}" "${QV_STATE_DIR}/examples/${QV_EXAMPLE_NAME}")

function(qv_install_configured source destination)
    get_filename_component(name "${source}" NAME)
    set(file "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${destination}/${name}")
    message(STATUS "Installing: ${file}")
    configure_file("${QV_PACKAGING_DIR}/${source}" "${file}" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${file}")
    set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()

qv_install_configured(quorvex-websvr.service lib/systemd/system)
qv_install_configured(quorvex-websvr.desktop share/applications)
