# Test harness: every Windows program runs under wine in a prefix of the build tree, with an Xvfb
# that a ctest fixture brings up before the first test program and takes down after the last.
# Each architecture has its own prefix and names its own loader: Debian's wrapper starts the 32-bit
# loader whenever it is installed, even for a 64-bit program.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(BRELVANE_WINE_LOADER /usr/lib/wine/wine64)
    set(BRELVANE_WINE_ARCH win64)
else()
    set(BRELVANE_WINE_LOADER /usr/lib/wine/wine)
    set(BRELVANE_WINE_ARCH win32)
endif()
configure_file(${CMAKE_SOURCE_DIR}/scripts/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/scripts/xvfb-ctl.sh.in ${CMAKE_BINARY_DIR}/xvfb-ctl
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

# Whether this machine executes this build's programs (some cannot run 32-bit code at all): only
# then can the build run a program of its own, such as the writer of the demonstration settings.
execute_process(COMMAND bash -c "source '${CMAKE_SOURCE_DIR}/scripts/arch.sh' && machine_executes ${CMAKE_SYSTEM_PROCESSOR}"
                RESULT_VARIABLE runs_here_status OUTPUT_QUIET ERROR_QUIET)
if(runs_here_status EQUAL 0)
    set(BRELVANE_RUNS_HERE ON)
else()
    set(BRELVANE_RUNS_HERE OFF)
endif()

enable_testing()
add_test(NAME harness_up COMMAND ${CMAKE_BINARY_DIR}/xvfb-ctl start)
add_test(NAME harness_down COMMAND ${CMAKE_BINARY_DIR}/xvfb-ctl stop)
set_tests_properties(harness_up PROPERTIES FIXTURES_SETUP harness)
set_tests_properties(harness_down PROPERTIES FIXTURES_CLEANUP harness)

# The prefixes, the shared one and those of the programs with a wine session of their own, made
# before any program starts: a copy taken while a program runs could catch its registry half
# written. Called once every test program is declared.
function(brelvane_harness_prefixes)
    get_property(sessions GLOBAL PROPERTY BRELVANE_WINE_SESSIONS)
    add_test(NAME harness_prefix COMMAND ${CMAKE_BINARY_DIR}/xvfb-ctl prefix ${sessions})
    set_tests_properties(harness_prefix PROPERTIES FIXTURES_SETUP harness DEPENDS harness_up)
endfunction()

# brelvane_test(NAME SOURCES ... LIBS ... [DATA files...] [SCANS] [FOLDER_IMAGES] [SCREEN])
# One GoogleTest program per source folder: each wine start costs time, so cases share a program.
# SCANS: the program runs scan jobs, whose device-busy atoms are global to the wine session; two
# such programs in one session would find each other's atom for the same device address, so each
# runs in a wine session of its own (its own prefix and wine server) and they run side by side.
# FOLDER_IMAGES: the program writes images into the shared test folder and counts the temporary
# files a scan leaves there; another such program's scan would leave one of its own meanwhile.
# SCREEN: the program shows windows and reads pixels off screenshots of the whole screen; another
# program's windows on the shared display would lie over its own.
function(brelvane_test name)
    cmake_parse_arguments(T "SCANS;FOLDER_IMAGES;SCREEN" "" "SOURCES;LIBS;DATA" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} test_support)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${BRELVANE_TEST_DIR})
    foreach(file ${T_DATA})
        add_custom_command(TARGET ${name} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file} ${BRELVANE_TEST_DIR}/)
    endforeach()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1
             WORKING_DIRECTORY ${BRELVANE_TEST_DIR})
    set(environment "BRELVANE_BUILD_DIR=${CMAKE_BINARY_DIR}")
    if(T_SCANS)
        list(APPEND environment "BRELVANE_WINE_SESSION=${name}")
        set_property(GLOBAL APPEND PROPERTY BRELVANE_WINE_SESSIONS ${name})
    endif()
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED harness TIMEOUT 600 ENVIRONMENT "${environment}")
    set(locks)
    if(T_FOLDER_IMAGES)
        list(APPEND locks folder_images)
    endif()
    if(T_SCREEN)
        list(APPEND locks screen)
    endif()
    if(locks)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
    endif()
endfunction()
