# Builds the setup program with makensis from two folders, each holding veltrane.dll with
# veltrane.chm, pencil.avi and veltrane.exe beside it, and the
# Windows 11 package's folder (veltrane.msix and Assets/, from installer/package/make_msix.py).
#
#   cmake -DDIR64=<64-bit folder> -DDIR32=<32-bit folder> -DOUTPUT=<setup.exe>
#         [-DPACKAGE_DIR=<folder> [-DPACKAGE_SIGNED=0|1]] [-DSIGN_COMMAND=<program>]
#         [-DVERSION=a.b.c.d] [-DMAKENSIS=<makensis>] -P installer/MakeSetup.cmake
#
# VERSION defaults to the project's version. Without PACKAGE_DIR the setup program installs
# the classic menu only. SIGN_COMMAND, given a file, signs it in place (scripts/sign-files.sh):
# makensis runs it on the uninstaller and on the setup program.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/ClassId.cmake)

foreach(required DIR64 DIR32 OUTPUT)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "MakeSetup.cmake needs -D${required}=...")
    endif()
endforeach()
foreach(dir ${DIR64} ${DIR32})
    foreach(name veltrane.dll veltrane.chm pencil.avi veltrane.exe)
        if(NOT EXISTS "${dir}/${name}")
            message(FATAL_ERROR "${dir}/${name} is missing")
        endif()
    endforeach()
endforeach()

set(package_defines "")
if(PACKAGE_DIR)
    foreach(name veltrane.msix Assets/StoreLogo.png Assets/Square150x150Logo.png
                 Assets/Square44x44Logo.png)
        if(NOT EXISTS "${PACKAGE_DIR}/${name}")
            message(FATAL_ERROR "${PACKAGE_DIR}/${name} is missing")
        endif()
    endforeach()
    if(NOT DEFINED PACKAGE_SIGNED)
        set(PACKAGE_SIGNED 0)
    endif()
    list(APPEND package_defines "-DPACKAGE_DIR=${PACKAGE_DIR}" "-DPACKAGE_SIGNED=${PACKAGE_SIGNED}")
endif()
if(SIGN_COMMAND)
    list(APPEND package_defines "-DSIGN_COMMAND=${SIGN_COMMAND}")
endif()
# Tests only: any Windows is taken for Windows 11, to see the per-account step under Wine.
if(TEST_WINDOWS11)
    list(APPEND package_defines "-DTEST_WINDOWS11")
endif()

if(NOT VERSION)
    file(READ "${CMAKE_CURRENT_LIST_DIR}/../CMakeLists.txt" top)
    if(NOT top MATCHES "project\\([A-Za-z]+ VERSION ([0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+)")
        message(FATAL_ERROR "no four-part project version in CMakeLists.txt")
    endif()
    set(VERSION "${CMAKE_MATCH_1}")
endif()
if(NOT MAKENSIS)
    find_program(MAKENSIS makensis REQUIRED)
endif()
veltrane_read_class_id(class_id)
veltrane_read_class_id(command_class_id CLSID_ExplorerCommand)

get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${output_dir}")
execute_process(
    COMMAND "${MAKENSIS}" -V2 -NOCD "-DVERSION=${VERSION}" "-DCLSID=${class_id}"
            "-DCOMMAND_CLSID=${command_class_id}" ${package_defines}
            "-DDIR64=${DIR64}" "-DDIR32=${DIR32}" "-DOUTFILE=${OUTPUT}"
            "${CMAKE_CURRENT_LIST_DIR}/veltrane.nsi"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE "${OUTPUT}")
    message(FATAL_ERROR "makensis failed (${result})")
endif()
if(PACKAGE_DIR)
    set(package_note "with the Windows 11 package")
else()
    set(package_note "without the Windows 11 package")
endif()
message(STATUS "Setup program: ${OUTPUT} (version ${VERSION}, class ${class_id}, ${package_note})")
