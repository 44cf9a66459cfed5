# SPDX-License-Identifier: GPL-3.0-or-later
# Runs PROGRAM with the ;-list ARGUMENTS and writes what it prints to OUTPUT, compressed with
# gzip -9n when GZIP is set (as Debian keeps manual pages).
execute_process(COMMAND ${PROGRAM} ${ARGUMENTS} OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ${ARGUMENTS} ended with ${status}")
endif()
if(GZIP)
  file(WRITE ${OUTPUT}.plain "${text}")
  execute_process(COMMAND gzip -9n -c ${OUTPUT}.plain OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
  file(REMOVE ${OUTPUT}.plain)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ended with ${status}")
  endif()
else()
  file(WRITE ${OUTPUT} "${text}")
endif()
