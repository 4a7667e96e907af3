# Runs the per-user demo once to learn where its file lies, then from no file (it
# must write the defaults), then once more (it must count on). On Linux the file lies
# under CONFIG_HOME, given as $XDG_CONFIG_HOME, and values edited in it before the
# last run must show. Arguments: DEMO, the program; CONFIG_HOME, on Linux; EMULATOR,
# the command that runs a cross-built program (Wine and its prefix), if any.

include(${CMAKE_CURRENT_LIST_DIR}/RunDemo.cmake)

if(CONFIG_HOME)
    file(REMOVE_RECURSE "${CONFIG_HOME}")
    set(ENV{XDG_CONFIG_HOME} "${CONFIG_HOME}")
    set(expected_path "${CONFIG_HOME}/SkarvelDemo/settings.ini")
else()
    set(expected_path "\\SkarvelDemo\\settings.ini")
endif()

run_demo("${expected_path}\n")
string(REGEX MATCH "Settings file: ([^\n]+)" line "${demo_output}")
set(settings_file "${CMAKE_MATCH_1}")
# Under Wine, C: is the prefix's drive_c.
if(settings_file MATCHES "^C:\\\\(.*)$")
    list(GET EMULATOR 1 prefix)
    string(REPLACE "\\" "/" settings_file "${prefix}/drive_c/${CMAKE_MATCH_1}")
endif()
if(NOT EXISTS "${settings_file}")
    message(FATAL_ERROR "the demo's file is not at ${settings_file}")
endif()
file(REMOVE "${settings_file}")

run_demo(
    "New settings file, defaults written\n"
    "Run:           1\n"
    "User name:     guest\n"
    "Window:        scale 1.25, not maximized\n"
    "Recent file:   Documents/notes.txt\n"
    "Sections:      User, Window, Files, Demo\n"
)

set(expected_after_edit "Window:        scale 1.25, not maximized\n")
if(CONFIG_HOME)
    file(READ "${settings_file}" content)
    string(REPLACE "Name=guest" "Name=\"  ada  \"" content "${content}")
    string(REPLACE "Maximized=false" "Maximized=Yes" content "${content}")
    file(WRITE "${settings_file}" "${content}")
    set(expected_after_edit "User name:       ada  \n" "Window:        scale 1.25, maximized\n")
endif()
run_demo("Run:           2\n" ${expected_after_edit})
string(FIND "${demo_output}" "New settings file" at)
if(NOT at EQUAL -1)
    message(FATAL_ERROR "the second run took the file for new:\n${demo_output}")
endif()
