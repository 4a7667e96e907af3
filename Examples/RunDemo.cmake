# run_demo(LINES...): runs DEMO (through EMULATOR, the command that runs a
# cross-built program, if any) and fails unless it succeeds and prints every line
# given; leaves what it printed in demo_output.
function(run_demo)
    execute_process(COMMAND ${EMULATOR} "${DEMO}" RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE errors)
    # A Windows build prints CRLF line ends.
    string(REPLACE "\r" "" output "${output}")
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "the demo failed (${result}):\n${output}${errors}")
    endif()
    foreach(expected IN LISTS ARGN)
        string(FIND "${output}" "${expected}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "the demo did not print \"${expected}\":\n${output}")
        endif()
    endforeach()
    set(demo_output "${output}" PARENT_SCOPE)
endfunction()
