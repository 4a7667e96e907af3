# Checks what a host sees of a DLL: it exports only the names its interface gives,
# and it imports only DLLs that every Windows system has. By default the DLL is
# Skarvel.dll, which exports the members of CSkarvel; SkarvelProfile.dll exports
# the C functions named skarvel_*.
#
# cmake -D OBJDUMP=<objdump> -D DLL=<Skarvel.dll> [-D EXPORTS=<regex> -D INTERFACE=<what>]
#       -P CheckDllInterface.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED EXPORTS)
    set(EXPORTS "_ZN8CSkarvel")
    set(INTERFACE "members of CSkarvel")
endif()

set(systemDlls kernel32.dll msvcrt.dll shlwapi.dll)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed: ${result}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
string(REPLACE "DLL Name: " "" imports "${imports}")
set(faults "")
foreach(import IN LISTS imports)
    string(TOLOWER "${import}" name)
    if(NOT name IN_LIST systemDlls)
        list(APPEND faults "imports ${import}, which is not a system DLL")
    endif()
endforeach()

string(FIND "${dump}" "[Ordinal/Name Pointer] Table" tableStart)
if(tableStart EQUAL -1)
    message(FATAL_ERROR "No export table in ${DLL}")
endif()
string(SUBSTRING "${dump}" ${tableStart} -1 table)
string(REGEX MATCH "Table\n(\t\\[ *[0-9]+\\] [^\n]+\n)+" table "${table}")
# The ordinals go first: a bracket in a list's item would hide the separators.
string(REGEX REPLACE "\t\\[ *[0-9]+\\] " "\t" table "${table}")
string(REGEX MATCHALL "\t[^\n]+" exports "${table}")
list(LENGTH exports count)
if(count EQUAL 0)
    message(FATAL_ERROR "${DLL} exports nothing")
endif()
foreach(export IN LISTS exports)
    string(STRIP "${export}" name)
    # 32-bit names may carry the platform's extra leading underscore.
    if(NOT name MATCHES "^_?${EXPORTS}")
        list(APPEND faults "exports ${name}, which is none of the ${INTERFACE}")
    endif()
endforeach()
if(faults)
    list(JOIN faults "\n  " faults)
    message(FATAL_ERROR "${DLL}:\n  ${faults}")
endif()
message(STATUS "${count} exports, all ${INTERFACE}; imports: ${imports}")
