# Runs CheckIncludes.cmake on the small tree ROOT and passes only when it reports exactly the
# lines of ROOT/refused.txt (one "file: #include "…": reason" a line), or, with no such file,
# when it accepts the tree.
# ROOT goes to the check as it is given (relative to the working folder, too).
# Usage: cmake -DROOT=<fixture folder> -DCHECK=<CheckIncludes.cmake> -P CheckFixture.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${ROOT} -P ${CHECK}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)

set(expected "")
file(REAL_PATH "${ROOT}" fixture)
if(EXISTS ${fixture}/refused.txt)
  file(STRINGS ${fixture}/refused.txt expected)
endif()
list(SORT expected)

set(reported "")
string(REPLACE "\n" ";" lines "${err}")
foreach(line ${lines})
  if(line MATCHES "^[ \t]*([^ \t].*: #include .*)$")
    list(APPEND reported "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(SORT reported)

list(JOIN expected "\n  " wanted)
if(expected AND status EQUAL 0)
  message(FATAL_ERROR "the check accepted ${ROOT}; expected it to refuse:\n  ${wanted}")
endif()
if(NOT expected AND NOT status EQUAL 0)
  message(FATAL_ERROR "the check refused ${ROOT}, which keeps every border:\n${err}")
endif()
if(NOT "${reported}" STREQUAL "${expected}")
  list(JOIN reported "\n  " got)
  message(FATAL_ERROR "the check reported\n  ${got}\nexpected\n  ${wanted}")
endif()
list(LENGTH expected count)
message(STATUS "${ROOT}: ${count} includes refused, as expected")
