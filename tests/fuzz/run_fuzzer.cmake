# Runs one libFuzzer target on a scratch copy of its seed corpus.
# Inputs: FUZZER, SEED, SCRATCH, ARTIFACTS, SECONDS.
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH} ${ARTIFACTS})
if(EXISTS ${SEED})
  file(GLOB seeds ${SEED}/*)
  if(seeds)
    file(COPY ${seeds} DESTINATION ${SCRATCH})
  endif()
endif()
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -print_final_stats=1
          -artifact_prefix=${ARTIFACTS}/ ${SCRATCH}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); inputs in ${ARTIFACTS}")
endif()
