# One static library per layer. A library's headers reach another target only
# through target_link_libraries: each library gets an include folder of its own
# under build/include/<library>/ that holds a link named after its source folder
# (or links to the few headers it offers), and only that folder goes on the
# include path of what links it. An include of a layer that is not linked
# finds no file, so a wrong-way include fails the build.
#
#   qv_layer_headers(<library> <folder>)                    every header of <folder>
#   qv_layer_headers(<library> <folder> PUBLIC a.h b.h      only these to linkers,
#                    [PRIVATE c.h])                         these to the library itself
#   qv_layer_insides(<name> <library> [<libraries>...])     an interface library <name>
#                                                           that offers the PRIVATE headers
#                                                           of <library> too, and links
#                                                           <library> and <libraries>: for
#                                                           the tests of its insides
#
# The source tree itself is on no include path.

# Include folders are made anew at every configuration: a folder that changes from all
# headers (one link) to some (a folder of links), or loses a header, keeps nothing stale.
# A link is removed as a link: what it points to is the source tree.
function(qv_remove_include_path path)
    if(IS_SYMLINK ${path})
        file(REMOVE ${path})
    elseif(EXISTS ${path})
        file(REMOVE_RECURSE ${path})
    endif()
endfunction()

function(qv_link_headers destination folder)
    qv_remove_include_path(${destination})
    file(MAKE_DIRECTORY ${destination})
    foreach(header ${ARGN})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder}/${header} ${destination}/${header} SYMBOLIC)
    endforeach()
endfunction()

function(qv_layer_headers target folder)
    cmake_parse_arguments(ARG "" "" "PUBLIC;PRIVATE" ${ARGN})
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    if(ARG_PUBLIC)
        qv_link_headers(${root}/public/${folder} ${folder} ${ARG_PUBLIC})
        target_include_directories(${target} PUBLIC ${root}/public)
    else()
        file(MAKE_DIRECTORY ${root}/public)
        qv_remove_include_path(${root}/public/${folder})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/public/${folder} SYMBOLIC)
        target_include_directories(${target} PUBLIC ${root}/public)
    endif()
    if(ARG_PRIVATE)
        qv_link_headers(${root}/private/${folder} ${folder} ${ARG_PRIVATE})
        target_include_directories(${target} PRIVATE ${root}/private)
    endif()
endfunction()

function(qv_layer_insides name target)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_BINARY_DIR}/include/${target}/private)
    target_link_libraries(${name} INTERFACE ${target} ${ARGN})
endfunction()
