# Regenerates the images into a scratch folder and checks that the committed
# ones are byte for byte what the generator makes.
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
execute_process(COMMAND "${GENERATOR}" "${SCRATCH}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "make_images failed: ${status}")
endif()
foreach(name bootone boottwo xilinxdata application)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${SCRATCH}/${name}.s19" "${RES}/${name}.s19"
                    RESULT_VARIABLE differs)
    if(differs)
        message(FATAL_ERROR "res/${name}.s19 is not what make_images generates")
    endif()
endforeach()
