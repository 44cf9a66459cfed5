# SPDX-License-Identifier: GPL-3.0-or-later
# Where the programs, the sound module, the manual pages, the completions and the desktop files
# go in a Debian package.
include(GNUInstallDirs)
# Where the sound module is installed: a private folder in the multiarch library folder, out
# of the linker's paths; found from the program's folder.
set(ZIRAVEL_MODULE_DIR lib/ziravel)
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(ZIRAVEL_MODULE_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/ziravel)
endif()
target_compile_definitions(ziravel PRIVATE ZIRAVEL_MODULE_DIR="../${ZIRAVEL_MODULE_DIR}")

install(TARGETS ziravel ziravel-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ziravel-sound LIBRARY DESTINATION ${ZIRAVEL_MODULE_DIR})

# The manual pages and the shell completions: ziravel-batch's are made by ziravel-batch itself
# from its options, so that they never disagree with it.
set(ZIRAVEL_DOCS ${CMAKE_BINARY_DIR}/docs)
function(ziravel_batch_output output gzip)
  add_custom_command(OUTPUT ${ZIRAVEL_DOCS}/${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZIRAVEL_DOCS}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:ziravel-batch> "-DARGUMENTS=${ARGN}"
            -DOUTPUT=${ZIRAVEL_DOCS}/${output} -DGZIP=${gzip}
            -P ${PROJECT_SOURCE_DIR}/cmake/RunToFile.cmake
    DEPENDS ziravel-batch ${PROJECT_SOURCE_DIR}/cmake/RunToFile.cmake VERBATIM)
endfunction()
ziravel_batch_output(ziravel-batch.1.gz ON --manual-page)
ziravel_batch_output(ziravel-batch.bash OFF --completion bash)
ziravel_batch_output(_ziravel-batch OFF --completion zsh)
ziravel_batch_output(ziravel-batch.fish OFF --completion fish)
add_custom_command(OUTPUT ${ZIRAVEL_DOCS}/ziravel.1.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZIRAVEL_DOCS}
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=cat -DARGUMENTS=${PROJECT_SOURCE_DIR}/resources/ziravel.1
          -DOUTPUT=${ZIRAVEL_DOCS}/ziravel.1.gz -DGZIP=ON -P ${PROJECT_SOURCE_DIR}/cmake/RunToFile.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/ziravel.1 VERBATIM)
add_custom_command(OUTPUT ${ZIRAVEL_DOCS}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZIRAVEL_DOCS}
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=cat -DARGUMENTS=${PROJECT_SOURCE_DIR}/resources/changelog
          -DOUTPUT=${ZIRAVEL_DOCS}/changelog.gz -DGZIP=ON -P ${PROJECT_SOURCE_DIR}/cmake/RunToFile.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/changelog VERBATIM)
add_custom_target(ziravel_docs ALL DEPENDS ${ZIRAVEL_DOCS}/changelog.gz
  ${ZIRAVEL_DOCS}/ziravel-batch.1.gz ${ZIRAVEL_DOCS}/ziravel.1.gz ${ZIRAVEL_DOCS}/ziravel-batch.bash
  ${ZIRAVEL_DOCS}/_ziravel-batch ${ZIRAVEL_DOCS}/ziravel-batch.fish)
install(FILES ${ZIRAVEL_DOCS}/ziravel-batch.1.gz ${ZIRAVEL_DOCS}/ziravel.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ZIRAVEL_DOCS}/ziravel-batch.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME ziravel-batch)
install(FILES ${ZIRAVEL_DOCS}/_ziravel-batch DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${ZIRAVEL_DOCS}/ziravel-batch.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
install(FILES ${PROJECT_SOURCE_DIR}/resources/ziravel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/ziravel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/com.korvane.ziravel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/copyright ${ZIRAVEL_DOCS}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ziravel)
# What lintian is told to accept, each with its reason.
install(FILES ${PROJECT_SOURCE_DIR}/resources/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ziravel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ziravel)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_CONTACT "Korvane <${ZIRAVEL_SUPPORT_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "random tone generator for listening tests and ear training")
set(CPACK_PACKAGE_DESCRIPTION "Ziravel makes random tones with SoX and saves them as numbered
WAV, MP3 or FLAC files with an answer key, or makes one tone and plays it.
Besides steady tones it makes equal-tempered notes, balanced designs for
listening tests, sweeps, sequences of tones and band-limited noise, at
levels set by peak or by RMS. The window is ziravel; ziravel-batch makes
the same sets from the command line, reproducibly from a seed.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_STRIP_FILES ON)
# The libraries the program links come from dpkg-shlibdeps; these it needs at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "sox, libsox-fmt-mp3, libqt6svg6, fonts-liberation2")
include(CPack)
