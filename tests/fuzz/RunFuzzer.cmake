# cmake -DFUZZER=<binary> -DSEEDS=<folder> -DSCRATCH=<folder> -DSECONDS=<n> [-DDICT=<file>]
#       -P RunFuzzer.cmake
# Copies the seeds into SCRATCH/corpus, fuzzes that copy for SECONDS with a fixed seed,
# and fails on any crash, leak, sanitizer report, timeout or memory blow-up; the input
# that did it is left in SCRATCH/artifacts.
foreach(var FUZZER SEEDS SCRATCH SECONDS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RunFuzzer.cmake needs -D${var}=...")
  endif()
endforeach()
if(NOT EXISTS ${FUZZER})
  message(FATAL_ERROR "${FUZZER} was not built")
endif()

file(GLOB seeds ${SEEDS}/*)
if(NOT seeds)
  message(FATAL_ERROR "no seeds in ${SEEDS}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/corpus ${SCRATCH}/artifacts)
file(COPY ${seeds} DESTINATION ${SCRATCH}/corpus)

set(dict_option)
if(DICT)
  set(dict_option -dict=${DICT})
endif()

execute_process(
  COMMAND ${FUZZER} ${SCRATCH}/corpus ${dict_option}
          -max_total_time=${SECONDS} -seed=1 -rss_limit_mb=2048 -timeout=10
          -artifact_prefix=${SCRATCH}/artifacts/ -print_final_stats=1
  WORKING_DIRECTORY ${SCRATCH}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(GLOB found ${SCRATCH}/artifacts/*)
  message(FATAL_ERROR "preset_fuzzer failed (${result}); input: ${found}")
endif()
