# The class identifiers of the DLL: their one home. The C++ definitions are generated from
# these (cmake/Guid.cpp.in), and setup, the package and their tests read them here.
set(VELTRANE_CLSID_ShellExt "{CCF51AE6-B015-489C-BEE6-095BB5EF9BCF}")
set(VELTRANE_CLSID_ExplorerCommand "{EB07AA05-E542-4D7D-9DDB-F3B3BF6B835C}")

# veltrane_guid_initializer(<out-var> <registry form>): the C initializer of a GUID,
# "{0x..., 0x..., 0x..., {0x.., ...}}".
function(veltrane_guid_initializer out text)
    # CMake's expressions have no counted repetition: spell the digits out.
    set(x "[0-9A-Fa-f]")
    string(REPEAT "${x}" 4 x4)
    if(NOT text MATCHES "^{(${x4}${x4})-(${x4})-(${x4})-(${x4})-(${x4}${x4}${x4})}$")
        message(FATAL_ERROR "not a class identifier: ${text}")
    endif()
    set(data4 "${CMAKE_MATCH_4}${CMAKE_MATCH_5}")
    set(bytes "")
    foreach(at RANGE 0 14 2)
        string(SUBSTRING "${data4}" ${at} 2 byte)
        list(APPEND bytes "0x${byte}")
    endforeach()
    list(JOIN bytes ", " bytes)
    set(${out} "{0x${CMAKE_MATCH_1}, 0x${CMAKE_MATCH_2}, 0x${CMAKE_MATCH_3}, {${bytes}}}" PARENT_SCOPE)
endfunction()
