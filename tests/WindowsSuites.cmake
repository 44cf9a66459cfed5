# SPDX-License-Identifier: GPL-3.0-or-later
# The suites that apply on Windows, cross-built and run under wine (the toolchain's emulator) in
# a wine prefix of the build's own. Suites that need a pseudo-terminal, a mount, fork, LD_PRELOAD
# or Linux's own SoX are not built here.
set(wine_prefix "${CMAKE_BINARY_DIR}/wine-prefix")
# What the programs load: Qt's libraries and the MinGW runtime, found through WINEPATH.
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin "${qt_core_dll}" DIRECTORY)
get_filename_component(qt_plugins "${qt_bin}/../plugins" ABSOLUTE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE runtime_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                OUTPUT_VARIABLE pthread_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(runtime_dir "${runtime_dll}" DIRECTORY)
get_filename_component(pthread_dir "${pthread_dll}" DIRECTORY)
# The suites judge sound files with the sox.exe the programs carry.
get_filename_component(sox_dir "${ZIRAVEL_SOX_PROGRAM}" DIRECTORY)
set(wine_environment
  "WINEPREFIX=${wine_prefix}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml="
  "HOME=${CMAKE_BINARY_DIR}/test-home" "QT_QPA_PLATFORM=offscreen"
  "WINEPATH=Z:${qt_bin}\;Z:${runtime_dir}\;Z:${pthread_dir}\;Z:${sox_dir}" "QT_PLUGIN_PATH=Z:${qt_plugins}")

# The prefix, made once before the suites run.
add_test(NAME wine_prefix COMMAND wineboot -i)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${wine_environment}")

add_executable(fake_sox support/fake_sox.cpp)
foreach(suite tst_numbertext tst_tonecommand tst_set tst_stimuli tst_initext tst_registry tst_options
               tst_listen tst_listeningtest)
  add_executable(${suite} ${suite}.cpp)
  target_link_libraries(${suite} PRIVATE ziravel_app ziravel_sound Qt6::Test)
  target_compile_definitions(${suite} PRIVATE ZIRAVEL_FAKE_SOX="$<TARGET_FILE:fake_sox>")
  target_include_directories(${suite} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
  # QtTest under wine writes its log to a file only.
  add_test(NAME ${suite} COMMAND ${suite} -o ${CMAKE_CURRENT_BINARY_DIR}/${suite}.txt,txt)
  set_tests_properties(${suite} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${wine_environment}")
endforeach()
