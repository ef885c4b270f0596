# Seeds a corpus with the files SEEDS (a glob) names and runs a fuzzer for a
# bounded time; inputs longer than MAX_LEN are cut.
# cmake -DFUZZER=f -DCORPUS=dir -DSECONDS=n -DMAX_LEN=n [-DSEEDS=glob] -P RunFuzzer.cmake
file(MAKE_DIRECTORY "${CORPUS}")
if(SEEDS)
    file(GLOB seeds "${SEEDS}")
    file(COPY ${seeds} DESTINATION "${CORPUS}")
endif()
execute_process(COMMAND "${FUZZER}" -max_total_time=${SECONDS} -max_len=${MAX_LEN} -timeout=10 -seed=1
                        -print_final_stats=1 "${CORPUS}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the fuzzer found a fault (exit ${status})")
endif()
