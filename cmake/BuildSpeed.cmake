# How the build spends less time, decided in one place after every target exists. Measured with
# x86_64 GCC on a busy 8-core machine, processor seconds (user + system):
# - a driver source took 5.3 s, 2.7 s with the Windows and standard headers precompiled;
# - a test source 5.7-6.9 s at -O3 (user only), 2.0-2.5 s at -O1 with its headers precompiled;
# - the 22 framework sources, headers precompiled, 28.5 s one by one and 8.2 s as one batch (loading
#   the 130 MB precompiled header costs about a second of system time per source); four driver test
#   sources 8.8 s one by one and 3.0 s as one.
# A whole x86_64 build went from 2300 processor seconds to 790. Hence:
# - every target precompiles the headers nearly every source includes, and the targets share one
#   precompiled header per kind (product, tests), built once per architecture;
# - every folder's sources compile as one batch (a unity build);
# - test sources compile at -O1: their time went to GoogleTest's templates, not to the code under
#   test, which the product's own libraries hold, compiled at -O3 as users run it.

set(BRELVANE_PRODUCT_HEADERS <windows.h> <algorithm> <cstdint> <cstring> <memory> <string> <vector>)

# Sources that keep a translation unit of their own: each keeps a file-local name that another source
# of its folder keeps too (a family's sense length and time-outs, a message id, a table or helper of
# the same name), and a batch would see both.
set(BRELVANE_UNBATCHED
    app/BrelvaneApp.cpp
    colour/FlavorFile.cpp
    core/driver/DriverPrescan.cpp
    core/driver/ScanSettingsCreation.cpp
    core/scan/AutoLevels.cpp
    core/scan/OutputPipeline.cpp
    core/scan/ScanColour.cpp
    core/scan/ScanJob.cpp
    core/scan/ScanOutput.cpp
    core/scsi/NtScsiTransport.cpp
    drivers/fennik/FennikScan.cpp
    drivers/fennik/FennikShading.cpp
    drivers/kiltorra/KiltorraScan.cpp
    drivers/koval/KovalCommands.cpp
    drivers/koval/KovalGeometry.cpp
    drivers/koval2/BlockLutBuffer.cpp
    drivers/koval2/Koval2Commands.cpp
    drivers/koval2/Koval2DataPath.cpp
    drivers/koval2/OstravelDriver.cpp
    drivers/koval2/OstravelShading.cpp
    drivers/koval2/PendaroDriver.cpp
    drivers/lumetra/LumetraScan.cpp
    drivers/orbel/OrbelProtocol.cpp
    drivers/telmari/TelmariScan.cpp
    drivers/tmr/TmrScan.cpp
    drivers/zandor/ZandorScan.cpp
    engine/TiffFile.cpp
    sim/KiltorraDevice.cpp
    sim/Koval2Device.cpp
    sim/LumetraDevice.cpp
    sim/OstravelDevice.cpp
    sim/PendaroDevice.cpp
    sim/TelmariDevice.cpp
    sim/TmrDevice.cpp
    sim/ZandorDevice.cpp
)

# The targets defined below `dir`, its subfolders included.
function(brelvane_targets_below dir out)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(sub ${subdirs})
        brelvane_targets_below(${sub} more)
        list(APPEND targets ${more})
    endforeach()
    set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(brelvane_has_cxx_sources target out)
    get_target_property(sources ${target} SOURCES)
    set(found OFF)
    foreach(source ${sources})
        if(source MATCHES "\\.(cpp|cc|cxx)$")
            set(found ON)
        endif()
    endforeach()
    set(${out} ${found} PARENT_SCOPE)
endfunction()

# Compiles the target's sources folder by folder, each folder as one batch (a unity build): a batch
# that followed the order of the sources would join different folders whenever one gained a file,
# and folders are written apart. Only sources below `below` join a batch; the others, and those
# named in BRELVANE_UNBATCHED, keep translation units of their own.
function(brelvane_batch_by_folder target below)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_MODE GROUP)
    get_target_property(dir ${target} SOURCE_DIR)
    get_target_property(sources ${target} SOURCES)
    foreach(source ${sources})
        cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${dir} NORMALIZE OUTPUT_VARIABLE path)
        cmake_path(RELATIVE_PATH path BASE_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE relative)
        cmake_path(GET relative PARENT_PATH folder)
        string(REPLACE "/" "_" group ${folder})
        if(relative MATCHES "^${below}" AND relative MATCHES "\\.cpp$" AND NOT relative IN_LIST BRELVANE_UNBATCHED)
            set_source_files_properties(${path} TARGET_DIRECTORY ${target} PROPERTIES UNITY_GROUP ${group})
        endif()
    endforeach()
endfunction()

# Test code: its own precompiled header (GoogleTest too), batches, -O1. A batch includes its sources
# into one file, so GCC takes a fixture in a source's anonymous namespace for one in a header and
# warns (-Wsubobject-linkage) about every test derived from it.
function(brelvane_speed_up_test target holder)
    target_compile_options(${target} PRIVATE -O1 -Wno-subobject-linkage -Winvalid-pch)
    brelvane_batch_by_folder(${target} "tests/")
    if(target STREQUAL holder)
        target_precompile_headers(${target} PRIVATE ${BRELVANE_PRODUCT_HEADERS} <gtest/gtest.h>)
    else()
        target_precompile_headers(${target} REUSE_FROM ${holder})
    endif()
endfunction()

function(brelvane_speed_up_product target holder)
    target_compile_options(${target} PRIVATE -Winvalid-pch)
    brelvane_batch_by_folder(${target} "")
    if(target STREQUAL holder)
        target_precompile_headers(${target} PRIVATE ${BRELVANE_PRODUCT_HEADERS})
    else()
        target_precompile_headers(${target} REUSE_FROM ${holder})
    endif()
endfunction()

function(brelvane_speed_up_build)
    brelvane_targets_below(${CMAKE_SOURCE_DIR} targets)
    foreach(target ${targets})
        get_target_property(type ${target} TYPE)
        get_target_property(dir ${target} SOURCE_DIR)
        if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$"
           OR NOT dir MATCHES "^${CMAKE_SOURCE_DIR}/")
            continue()
        endif()
        brelvane_has_cxx_sources(${target} has_cxx)
        if(NOT has_cxx)
            continue()
        endif()
        if(dir MATCHES "^${CMAKE_SOURCE_DIR}/tests(/|$)")
            brelvane_speed_up_test(${target} test_support)
        else()
            brelvane_speed_up_product(${target} framework)
        endif()
    endforeach()
endfunction()
