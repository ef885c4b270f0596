# Runs a fuzzer for a bounded time over its corpus. The S-record seeds (the
# images) go in behind the two bytes that choose a window.
# cmake -DFUZZER=f -DCORPUS=dir -DSECONDS=n -DMAX_LEN=n [-DSEEDS=dir] -P RunFuzzer.cmake
file(MAKE_DIRECTORY "${CORPUS}")
file(GLOB seeds "${SEEDS}/*.s19")
foreach(seed IN LISTS seeds)
    get_filename_component(name "${seed}" NAME)
    file(READ "${seed}" text LIMIT 6000)
    # The window selector: "0" the primary loader's, "1" the secondary's, "2" flash.
    set(window 2)
    if(name STREQUAL "bootone.s19")
        set(window 0)
    elseif(name STREQUAL "boottwo.s19")
        set(window 1)
    endif()
    file(WRITE "${CORPUS}/${name}" "${window}-${text}")
endforeach()
execute_process(COMMAND "${FUZZER}" -max_total_time=${SECONDS} -max_len=${MAX_LEN} -timeout=10 -seed=1
                        -print_final_stats=1 "${CORPUS}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the fuzzer found a fault (exit ${status})")
endif()
