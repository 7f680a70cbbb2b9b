# System libraries that a start seldom calls into are loaded at their first call, not with the
# program. Under wine the common dialogs bring the shell, OLE, the common controls and the printer
# spooler along, and loading them was most of a batch start's time before its first SCSI command.
# Link delayed_<name> in place of <name>. cmake/delayed/<name>.def names the functions we call; a
# function missing there still links, from the plain import library, and so brings the library back
# into every start (the start figure of bench/ shows it).
find_program(BRELVANE_DLLTOOL ${TOOL_PREFIX}-dlltool REQUIRED)
foreach(name comdlg32 shlwapi winmm)
    set(def ${CMAKE_SOURCE_DIR}/cmake/delayed/${name}.def)
    set(archive ${CMAKE_BINARY_DIR}/delayed/lib${name}.a)
    file(READ ${def} exports)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        # 64-bit functions carry no argument size in their names.
        string(REGEX REPLACE "@[0-9]+" "" exports "${exports}")
        set(kill_at)
    else()
        set(kill_at --kill-at)
    endif()
    file(WRITE ${CMAKE_BINARY_DIR}/delayed/${name}.def "${exports}")
    execute_process(COMMAND ${BRELVANE_DLLTOOL} ${kill_at} --input-def ${CMAKE_BINARY_DIR}/delayed/${name}.def
                            --output-delaylib ${archive}
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "dlltool could not make the delayed import library of ${name}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
    add_library(delayed_${name} INTERFACE)
    target_link_libraries(delayed_${name} INTERFACE ${archive} delayimp)
endforeach()
