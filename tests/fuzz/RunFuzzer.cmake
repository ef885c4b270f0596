# Seeds a corpus and runs a fuzzer for a bounded time. SEEDS: a folder of
# S-record images, each placed behind the two bytes that choose a window;
# SEED_DIR: a folder of seeds taken as they are.
# cmake -DFUZZER=f -DCORPUS=dir -DSECONDS=n -DMAX_LEN=n [-DSEEDS=dir] [-DSEED_DIR=dir] -P RunFuzzer.cmake
file(MAKE_DIRECTORY "${CORPUS}")
if(SEED_DIR)
    file(GLOB seeds "${SEED_DIR}/*")
    file(COPY ${seeds} DESTINATION "${CORPUS}")
endif()
set(images "")
if(SEEDS)
    file(GLOB images "${SEEDS}/*.s19")
endif()
foreach(seed IN LISTS images)
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
