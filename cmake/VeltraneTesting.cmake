# veltrane_add_gtest(<name> SOURCES ... LIBS ... [LABELS ...] [PROPERTIES <name> <value> ...])
# Natively and on win64 every test case becomes its own CTest test. On win32 the whole
# program is one CTest test: 32-bit Wine may run under emulation, where each start costs more.
# WHOLE: the program is one CTest test everywhere. Programs that share a resource (the
# prefix's registry) need it: the properties of discovered test cases reach CTest only when
# they run, too late for RESOURCE_LOCK to keep two such programs apart.
function(veltrane_add_gtest name)
    cmake_parse_arguments(ARG "WHOLE" "" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} veltrane_test_support GTest::gtest_main)
    # Tests stand outside the layers: they may look at any part they exercise.
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/res)
    set(labels ${ARG_LABELS})
    if(WIN32)
        list(APPEND labels wine)
        if(VELTRANE_WINE_BITS EQUAL 32 OR ARG_WHOLE)
            if(VELTRANE_WINE_BITS EQUAL 32)
                list(APPEND labels wine32)
            else()
                list(APPEND labels wine64)
            endif()
            add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
            set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT 1800 ${ARG_PROPERTIES})
            return()
        endif()
        list(APPEND labels wine64)
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                             PROPERTIES TIMEOUT 300 ${ARG_PROPERTIES})
    else()
        list(APPEND labels native)
        # A generous limit: a test that hangs fails instead of holding up the run.
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                             PROPERTIES TIMEOUT 300 ${ARG_PROPERTIES})
    endif()
    # Labels go on the discovered tests afterwards: gtest_discover_tests flattens the
    # properties it passes on, so a test would keep only the first of several labels.
    # Its file defines <name>_TESTS; this one, included after it, labels them.
    set(label_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
    file(WRITE ${label_file}
         "if(DEFINED ${name}_TESTS)\n"
         "  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${labels}\")\n"
         "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_file})
endfunction()
