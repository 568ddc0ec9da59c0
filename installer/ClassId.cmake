# veltrane_read_class_id(<out-var> [<constant>]): a class identifier of the DLL in registry
# form ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"): CLSID_ShellExt by default, or
# CLSID_ExplorerCommand. Read from their one home, cmake/ClassIds.cmake, from which the
# DLL's own definitions are generated, so the setup program, the package and their tests
# can never disagree with the DLL.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/ClassIds.cmake)

function(veltrane_read_class_id out)
    set(constant CLSID_ShellExt)
    if(ARGC GREATER 1)
        set(constant "${ARGV1}")
    endif()
    if(NOT DEFINED VELTRANE_${constant})
        message(FATAL_ERROR "no class identifier ${constant} in cmake/ClassIds.cmake")
    endif()
    set(${out} "${VELTRANE_${constant}}" PARENT_SCOPE)
endfunction()
