# Prints a class identifier of the DLL in registry form, for scripts:
#   cmake [-DCONSTANT=CLSID_ExplorerCommand] -P installer/PrintClassId.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/ClassId.cmake)
if(NOT CONSTANT)
    set(CONSTANT CLSID_ShellExt)
endif()
veltrane_read_class_id(class_id ${CONSTANT})
execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${class_id}")
