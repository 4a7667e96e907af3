# Checks what a host sees of a shared library on Linux: every dynamic symbol it
# defines is one its interface gives.
#
# cmake -D NM=<nm> -D LIBRARY=<lib.so> -D EXPORTS=<regex> -D INTERFACE=<what>
#       -P CheckSharedInterface.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE table
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} -D --defined-only ${LIBRARY} failed: ${result}")
endif()
# Lines are "<address> <type> <name>"; the name may carry a version ("@@VERS").
string(REGEX MATCHALL "[^\n]+" lines "${table}")
set(faults "")
set(count 0)
foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
    math(EXPR count "${count} + 1")
    if(NOT name MATCHES "^${EXPORTS}")
        list(APPEND faults "exports ${name}, which is none of the ${INTERFACE}")
    endif()
endforeach()
if(count EQUAL 0)
    message(FATAL_ERROR "${LIBRARY} exports nothing")
endif()
if(faults)
    list(JOIN faults "\n  " faults)
    message(FATAL_ERROR "${LIBRARY}:\n  ${faults}")
endif()
message(STATUS "${count} exports, all ${INTERFACE}")
