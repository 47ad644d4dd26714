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
#
# The source tree itself is on no include path.

function(qv_link_headers destination folder)
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
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/public/${folder} SYMBOLIC)
        target_include_directories(${target} PUBLIC ${root}/public)
    endif()
    if(ARG_PRIVATE)
        qv_link_headers(${root}/private/${folder} ${folder} ${ARG_PRIVATE})
        target_include_directories(${target} PRIVATE ${root}/private)
    endif()
endfunction()
