# Checks what a host sees of the DLL: it exports the members of CSkarvel and
# nothing else, and it imports only DLLs that every Windows system has.
#
# cmake -D OBJDUMP=<objdump> -D DLL=<Skarvel.dll> -P CheckDllInterface.cmake
cmake_minimum_required(VERSION 3.25)

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
    if(NOT name MATCHES "^_?_ZN8CSkarvel")
        list(APPEND faults "exports ${name}, which is not a member of CSkarvel")
    endif()
endforeach()
if(faults)
    list(JOIN faults "\n  " faults)
    message(FATAL_ERROR "${DLL}:\n  ${faults}")
endif()
message(STATUS "${count} exports, all members of CSkarvel; imports: ${imports}")
