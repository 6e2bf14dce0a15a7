# Installs the build tree into a scratch prefix, builds the consumer project
# against it, simplifies the teapot with both the consumer and the batch
# program and compares their files byte for byte.
# Arguments: SOURCE, BUILD, SCRATCH, COMPILER, TAVRIN (the batch program).
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/batch ${SCRATCH}/consumer)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${SCRATCH}/prefix)
run(${CMAKE_COMMAND} -S ${SOURCE}/tests/consumer -B ${SCRATCH}/build
    -DCMAKE_PREFIX_PATH=${SCRATCH}/prefix -DCMAKE_CXX_COMPILER=${COMPILER}
    -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${SCRATCH}/build)

set(teapot ${SOURCE}/tests/data/teapot.ply)
file(COPY ${teapot} DESTINATION ${SCRATCH}/batch)
foreach(type HASH_UC HASH_UC_SCALAR)
  run(${TAVRIN} ${SCRATCH}/batch/teapot.ply ${type} 32)
  run(${SCRATCH}/build/consumer ${teapot} ${type} 32
      ${SCRATCH}/consumer/teapot_simp_${type}_0032)
  foreach(ext msh res)
    set(name teapot_simp_${type}_0032.${ext})
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SCRATCH}/batch/${name}
                    ${SCRATCH}/consumer/${name} RESULT_VARIABLE differ)
    if(differ)
      message(FATAL_ERROR "${name}: the consumer's file differs from the batch program's")
    endif()
  endforeach()
endforeach()

# pkg-config finds the same installed library.
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${SCRATCH}/prefix/lib/pkgconfig)
  run(${PKG_CONFIG} --exists tavrin)
endif()
message(STATUS "consumer project: files equal the batch program's")
