# Points the wine prefix's "mirevant.ini" at the run folder's engine base directory.
# -DPREFIX=<wine prefix> -DBASE=<host path of the base directory>
string(REPLACE "/" "\\" windows_base "Z:${BASE}")
set(ini ${PREFIX}/drive_c/windows/mirevant.ini)
set(content "[Zelk CMS]\r\nBaseDir=${windows_base}\r\n")
if(EXISTS ${ini})
    file(READ ${ini} current)
    if(current STREQUAL content)
        return()
    endif()
endif()
file(WRITE ${ini} "${content}")
