# Runs the crash fixture under the wine runner and checks that the crash is reported.
# -DRUNNER=wine-run.sh -DSTATE=<wine state folder> -DEXE=<fixture.exe>
execute_process(COMMAND ${RUNNER} --state ${STATE} ${EXE}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT rc EQUAL 86)
  message(FATAL_ERROR "expected exit code 86 for a crashed test program, got '${rc}'")
endif()
if(NOT err MATCHES "FATAL: unhandled exception 0xc0000005 at [0-9A-Fa-fx]+ in test CrashFixture.DereferencesNull")
  message(FATAL_ERROR "the crash report does not name the exception and the test")
endif()
if(NOT out MATCHES "OK \\] CrashFixture.PassesFirst")
  message(FATAL_ERROR "the tests before the crash did not run")
endif()
