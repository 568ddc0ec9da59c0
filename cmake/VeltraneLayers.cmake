# Layers that point one way. Each library of src/ sees, as its include root, only the
# folders it may use: a folder of build/layers/<target>/ holds links to them. An include
# of a higher layer ("shellext/CShellExt.h" from src/job) then fails to compile. The roots
# are public, so a library's users see what it sees, never more than their own layer.
#
# veltrane_layer(<target> FOLDERS <src folder>... [FILES <src file>...])
function(veltrane_layer target)
    cmake_parse_arguments(ARG "" "" "FOLDERS;FILES" ${ARGN})
    set(root ${CMAKE_BINARY_DIR}/layers/${target})
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    foreach(folder ${ARG_FOLDERS})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
    endforeach()
    foreach(file ${ARG_FILES})
        get_filename_component(dir ${file} DIRECTORY)
        file(MAKE_DIRECTORY ${root}/${dir})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${file} ${root}/${file} SYMBOLIC)
    endforeach()
    target_include_directories(${target} PUBLIC ${root})
endfunction()
