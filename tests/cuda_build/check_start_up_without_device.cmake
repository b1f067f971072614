# Runs the tool of the CUDA build on its demo pattern. Without a CUDA device the plug-in's start-up
# fails as the editor expects: its message first on standard error, the tool reporting the start-up
# callback's failure, exit status 1 and nothing written. On a machine whose runtime lists a device
# the check does not apply: it says so, and the test counts as skipped.
# usage: cmake -DTOOL=... -DWORK_DIR=... -P check_start_up_without_device.cmake
execute_process(COMMAND ${TOOL} --list-devices RESULT_VARIABLE status OUTPUT_VARIABLE devices)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "--list-devices failed with status ${status}")
elseif(devices)
  message("a CUDA device is present:\n${devices}")
  return()
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND ${TOOL} --demo out.y4m WORKING_DIRECTORY "${WORK_DIR}" INPUT_FILE /dev/null
  RESULT_VARIABLE status ERROR_VARIABLE err)
string(FIND "${err}" "cutil error: no devices supporting CUDA.\n" message_at)
string(FIND "${err}" "the init callback reported failure" failure_at)
file(GLOB written "${WORK_DIR}/*")
if(NOT status EQUAL 1 OR NOT message_at EQUAL 0 OR failure_at EQUAL -1 OR written)
  message(FATAL_ERROR "start-up without a device: status ${status}, wrote '${written}', standard error:\n${err}")
endif()
message(STATUS "start-up without a device: status 1, standard error:\n${err}")
