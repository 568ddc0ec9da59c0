# Builds the setup program with makensis from two folders, each holding veltrane.dll with
# veltrane.chm and pencil.avi beside it.
#
#   cmake -DDIR64=<64-bit folder> -DDIR32=<32-bit folder> -DOUTPUT=<setup.exe>
#         [-DVERSION=a.b.c.d] [-DMAKENSIS=<makensis>] -P installer/MakeSetup.cmake
#
# VERSION defaults to the project's version.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/ClassId.cmake)

foreach(required DIR64 DIR32 OUTPUT)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "MakeSetup.cmake needs -D${required}=...")
    endif()
endforeach()
foreach(dir ${DIR64} ${DIR32})
    foreach(name veltrane.dll veltrane.chm pencil.avi)
        if(NOT EXISTS "${dir}/${name}")
            message(FATAL_ERROR "${dir}/${name} is missing")
        endif()
    endforeach()
endforeach()

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

get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${output_dir}")
execute_process(
    COMMAND "${MAKENSIS}" -V2 -NOCD "-DVERSION=${VERSION}" "-DCLSID=${class_id}"
            "-DDIR64=${DIR64}" "-DDIR32=${DIR32}" "-DOUTFILE=${OUTPUT}"
            "${CMAKE_CURRENT_LIST_DIR}/veltrane.nsi"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE "${OUTPUT}")
    message(FATAL_ERROR "makensis failed (${result})")
endif()
message(STATUS "Setup program: ${OUTPUT} (version ${VERSION}, class ${class_id})")
