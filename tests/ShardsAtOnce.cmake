# SPDX-License-Identifier: GPL-3.0-or-later
# The README's recipe for shards run at once (there with GNU parallel, which starts each
# through a shell; here with xargs, which starts the program itself): four shards side by
# side make byte for byte the set one run makes, and merged, its key and manifest.
set(set --seed 3 --count 10 --length 0.05 --from 100 --to 3000 --quiet)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/whole" "${WORK}/shards")
file(WRITE "${WORK}/numbers" "1\n2\n3\n4\n")
execute_process(COMMAND xargs -P 4 -I{} "${PROGRAM}" ${set} --shard {}/4 --folder "${WORK}/shards"
                INPUT_FILE "${WORK}/numbers" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the shards failed: ${failed}")
endif()
execute_process(COMMAND "${PROGRAM}" ${set} --folder "${WORK}/whole" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the whole set failed: ${failed}")
endif()
# Merged, the shards' keys and manifests are the one run's too.
execute_process(COMMAND "${PROGRAM}" --merge "${WORK}/shards" --quiet RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the merge failed: ${failed}")
endif()
set(files Ziravel_tones.csv Ziravel_set.json)
foreach(number RANGE 1 10)
  list(APPEND files Ziravel_${number}.wav)
endforeach()
foreach(file IN LISTS files)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/whole/${file}"
                          "${WORK}/shards/${file}" RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${file} differs from one run's")
  endif()
endforeach()
message(STATUS "four shards at once made the set of one run")
