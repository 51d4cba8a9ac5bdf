# cmake -DWORK=... -DEXAMPLE=... -DSAMPLE=... -DGENERATOR=... -DCXX=... -P realtime_test.cmake
# Builds the real-time example against the installed prefix WORK/prefix, changes the pitch of
# SAMPLE by half 10 ms at a time (analysis and synthesis streamed, a lookahead of 10 frames), and
# compares the WAV file with the installed velkdecoder's for --fpitch=1.5 of the streams the
# example analysed, byte for byte.
cmake_minimum_required(VERSION 3.16)
set(prefix ${WORK}/prefix)
set(dir ${WORK}/realtime)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${dir})
file(MAKE_DIRECTORY ${dir})
run(${CMAKE_COMMAND} -S ${EXAMPLE} -B ${dir}/build -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}")
run(${CMAKE_COMMAND} --build ${dir}/build)
run(${dir}/build/velkrealtime ${SAMPLE} ${dir}/out.wav 1.5 10 ${dir}/s)
if(NOT output MATCHES "^140 blocks of 10 ms; CPU per block [0-9.]+ us on average, [0-9.]+ us at most; latency 3990 samples \\(249.4 ms\\)\n$")
  message(FATAL_ERROR "unexpected report: ${output}")
endif()
run(${prefix}/bin/velkdecoder ${dir}/s.lf0 ${dir}/s.cc ${dir}/s.fv ${dir}/ref.wav --fpitch=1.5)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${dir}/out.wav ${dir}/ref.wav RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "the example's WAV file differs from velkdecoder's")
endif()
