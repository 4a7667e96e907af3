# Runs the demo from a missing settings file, edits values in the file, and runs
# it again: the second run must find the file, read the edits and count on.
# Arguments: DEMO, the program; SETTINGS_FILE, the file it keeps beside itself;
# EMULATOR, the command that runs a cross-built program, if any.

include(${CMAKE_CURRENT_LIST_DIR}/RunDemo.cmake)

file(REMOVE "${SETTINGS_FILE}")

run_demo(
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

# One value of each type, edited as a user would.
string(REPLACE "Width=1024" "Width=1280" content "${content}")
string(REPLACE "Scale=1.250000" "Scale=2" content "${content}")
string(REPLACE "Recent=Documents/notes.txt" "Recent=plan.txt" content "${content}")
string(REPLACE "Name=guest" "Name=ada" content "${content}")
file(WRITE "${SETTINGS_FILE}" "${content}")

run_demo(
    "Run:           2\n"
    "Window:        1280 x 768 at (120, 80), scale 2\n"
    "Recent file:   plan.txt\n"
    "User name:     ada\n"
)
string(FIND "${demo_output}" "New settings file" at)
if(NOT at EQUAL -1)
    message(FATAL_ERROR "the second run took the file for new:\n${demo_output}")
endif()
