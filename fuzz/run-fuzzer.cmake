# Runs a libFuzzer target for a bounded time over a scratch copy of its seed corpus, so the
# committed seeds never change; any finding fails the test. SEED_FILES (optional) are files
# of the tree that seed the run as they are, such as the stored registry script.
#   cmake -DFUZZER=exe -DCORPUS=dir -DDICT=file -DWORK=dir -DSECONDS=n [-DSEED_FILES=f;...]
#         -P run-fuzzer.cmake
foreach(var FUZZER CORPUS DICT WORK SECONDS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run-fuzzer.cmake: ${var} not set")
  endif()
endforeach()
if(NOT EXISTS ${FUZZER})
  message(FATAL_ERROR "fuzzer ${FUZZER} not built")
endif()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB seeds ${CORPUS}/*)
file(COPY ${seeds} ${SEED_FILES} DESTINATION ${WORK}/corpus)

execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -seed=1 -dict=${DICT} -timeout=10 -rss_limit_mb=2048
          -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} reported a finding (exit ${result}); the input is in ${WORK}/artifacts")
endif()
