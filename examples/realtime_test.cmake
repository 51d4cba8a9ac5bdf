# cmake -DWORK=... -DEXAMPLE=... -DSAMPLE=... -DGENERATOR=... -DCXX=... -P realtime_test.cmake
# Builds the real-time example against the installed prefix WORK/prefix, synthesises the installed
# velkcoder's streams of SAMPLE 10 ms at a time with the pitch raised by half, and compares the
# WAV file with the installed velkdecoder's for --fpitch=1.5, byte for byte.
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
run(${prefix}/bin/velkcoder ${SAMPLE} ${dir}/s.lf0 ${dir}/s.cc ${dir}/s.fv)
run(${prefix}/bin/velkdecoder ${dir}/s.lf0 ${dir}/s.cc ${dir}/s.fv ${dir}/ref.wav --fpitch=1.5)
run(${dir}/build/velkrealtime ${dir}/s.lf0 ${dir}/s.cc ${dir}/s.fv ${dir}/out.wav 1.5)
if(NOT output MATCHES "^140 blocks of 10 ms; CPU per block [0-9.]+ us on average, [0-9.]+ us at most; latency 80 samples \\(5.0 ms\\)\n$")
  message(FATAL_ERROR "unexpected report: ${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${dir}/out.wav ${dir}/ref.wav RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "the example's WAV file differs from velkdecoder's")
endif()
