# What `cmake --install build --prefix P` puts under P: the library, its one
# public header, a CMake package (find_package(Tavrin CONFIG) gives
# Tavrin::tavrin, which brings OpenMP along) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS tavrin_library EXPORT TavrinTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/tavrin/tavrin.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tavrin)

set(TAVRIN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavrin)
install(EXPORT TavrinTargets NAMESPACE Tavrin:: DESTINATION ${TAVRIN_CMAKE_DIR})
configure_package_config_file(cmake/TavrinConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TavrinConfig.cmake INSTALL_DESTINATION ${TAVRIN_CMAKE_DIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TavrinConfig.cmake DESTINATION ${TAVRIN_CMAKE_DIR})

# The static library needs the OpenMP runtime and the C++ library at link time.
configure_file(cmake/tavrin.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tavrin.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tavrin.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The consumer project builds against a scratch install of this tree and must
# write the same files as the batch program.
# Not in the sanitizer and fuzzing builds, whose library needs the
# sanitizer runtimes that a plain consumer does not link.
if(TAVRIN_TESTS AND NOT TAVRIN_SANITIZE AND NOT TAVRIN_TSAN AND NOT TAVRIN_FUZZ)
  set(TAVRIN_SCRATCH ${CMAKE_CURRENT_BINARY_DIR}/consumer-test)
  add_test(NAME consumer_project
           COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}
                   -DBUILD=${CMAKE_CURRENT_BINARY_DIR} -DSCRATCH=${TAVRIN_SCRATCH}
                   -DCOMPILER=${CMAKE_CXX_COMPILER} -DTAVRIN=$<TARGET_FILE:tavrin>
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/tests/consumer/run_consumer_test.cmake)
  set_tests_properties(consumer_project PROPERTIES TIMEOUT 600)
endif()
