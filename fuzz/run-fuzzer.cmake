# Runs a libFuzzer target for a bounded time over a scratch copy of its seed corpus, so the
# committed seeds never change; any finding fails the test. SEED_FILES (optional) are files
# of the tree that seed the run as they are, such as the stored registry script.
#   cmake -DFUZZER=exe -DCORPUS=dir -DDICT=file -DWORK=dir -DSECONDS=n [-DSEED_FILES=f;...]
#         -P run-fuzzer.cmake
# DICT may be empty (no dictionary); RSS_MB, the memory limit, is 2048 unless given.
# Optional: MAX_LEN (input size), MALLOC_MB (largest single allocation of the target) and
# QUARANTINE_MB (ASan's hold on freed memory, which otherwise dwarfs a small RSS limit).
if(NOT DEFINED RSS_MB)
  set(RSS_MB 2048)
endif()
set(options "")
if(DICT)
  list(APPEND options -dict=${DICT})
endif()
if(MAX_LEN)
  list(APPEND options -max_len=${MAX_LEN})
endif()
if(MALLOC_MB)
  list(APPEND options -malloc_limit_mb=${MALLOC_MB})
endif()
set(environment "")
if(QUARANTINE_MB)
  set(environment ${CMAKE_COMMAND} -E env ASAN_OPTIONS=quarantine_size_mb=${QUARANTINE_MB}:malloc_context_size=4)
endif()
foreach(var FUZZER CORPUS WORK SECONDS)
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
  COMMAND ${environment} ${FUZZER} -max_total_time=${SECONDS} -seed=1 ${options} -timeout=10 -rss_limit_mb=${RSS_MB}
          -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} reported a finding (exit ${result}); the input is in ${WORK}/artifacts")
endif()
