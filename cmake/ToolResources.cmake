# SPDX-License-Identifier: GPL-3.0-or-later
# The program carries the SoX tool and the zlib library it needs as resources
# 101 and 102, taken from the build machine.
if(WIN32)
  find_program(ZIRAVEL_SOX_PROGRAM NAMES sox.exe REQUIRED)
  get_filename_component(_sox_dir "${ZIRAVEL_SOX_PROGRAM}" DIRECTORY)
  find_file(ZIRAVEL_ZLIB_FILE NAMES zlib1.dll HINTS "${_sox_dir}" REQUIRED)
else()
  find_program(ZIRAVEL_SOX_PROGRAM NAMES sox REQUIRED)
  find_library(ZIRAVEL_ZLIB_FILE NAMES z REQUIRED)
endif()
file(REAL_PATH "${ZIRAVEL_SOX_PROGRAM}" ZIRAVEL_SOX_REAL)
file(REAL_PATH "${ZIRAVEL_ZLIB_FILE}" ZIRAVEL_ZLIB_REAL)
set(ZIRAVEL_TOOL_RESOURCE_DIR "${CMAKE_BINARY_DIR}/tool-resources")
configure_file("${ZIRAVEL_SOX_REAL}" "${ZIRAVEL_TOOL_RESOURCE_DIR}/101" COPYONLY)
configure_file("${ZIRAVEL_ZLIB_REAL}" "${ZIRAVEL_TOOL_RESOURCE_DIR}/102" COPYONLY)
message(STATUS "Tool resources: ${ZIRAVEL_SOX_REAL}, ${ZIRAVEL_ZLIB_REAL}")
