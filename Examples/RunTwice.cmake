# Runs the demo from a missing settings file, edits one value in the file, and
# runs it again: the second run must find the file, read the edit and count on.
# Arguments: DEMO, the program; SETTINGS_FILE, the file it keeps beside itself.

# Runs the demo and fails unless it succeeds and prints every line of ARGN.
function(run_demo output_variable)
    execute_process(COMMAND "${DEMO}" RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "the demo failed (${result}):\n${output}${errors}")
    endif()
    foreach(expected IN LISTS ARGN)
        string(FIND "${output}" "${expected}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "the demo did not print \"${expected}\":\n${output}")
        endif()
    endforeach()
    set(${output_variable} "${output}" PARENT_SCOPE)
endfunction()

file(REMOVE "${SETTINGS_FILE}")

run_demo(first
    "New settings file, defaults written"
    "/SettingsDemo.ini\n"
    "Run:           1\n"
    "Window:        1024 x 768 at (120, 80), scale 1.25\n"
    "Recent file:   Documents/notes.txt\n"
    "User name:     guest\n"
)
file(READ "${SETTINGS_FILE}" content)
foreach(line "[Window]" "Width=1024" "Scale=1.250000" "[Demo]" "RunCount=1")
    string(FIND "${content}" "${line}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the settings file lacks \"${line}\":\n${content}")
    endif()
endforeach()

string(REPLACE "Width=1024" "Width=1280" content "${content}")
file(WRITE "${SETTINGS_FILE}" "${content}")

run_demo(second
    "Run:           2\n"
    "Window:        1280 x 768 at (120, 80), scale 1.25\n"
    "User name:     guest\n"
)
string(FIND "${second}" "New settings file" at)
if(NOT at EQUAL -1)
    message(FATAL_ERROR "the second run took the file for new:\n${second}")
endif()
