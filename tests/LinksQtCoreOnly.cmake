# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when the program named by PROGRAM needs a Qt library other than QtCore: the
# command-line generator must run with no display libraries installed.
execute_process(COMMAND readelf -d "${PROGRAM}" OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "readelf could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "libQt6[A-Za-z]+" qt "${dynamic}")
list(REMOVE_DUPLICATES qt)
if(NOT qt STREQUAL "libQt6Core")
  message(FATAL_ERROR "${PROGRAM} needs ${qt}")
endif()
message(STATUS "${PROGRAM} needs ${qt} alone")
