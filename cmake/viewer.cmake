# The viewer: its own static library over the core, the programs that draw,
# its unit tests and the tests that run it under a virtual display.
include(cmake/require_packages.cmake)
tavrin_require_header(GL/gl.h libgl-dev)
tavrin_require_header(GL/glu.h libglu1-mesa-dev)
tavrin_require_header(GL/glew.h libglew-dev)
tavrin_require_header(FL/Fl.H libfltk1.3-dev)
tavrin_require_header(stb/stb_image_write.h libstb-dev)
if(EXISTS /usr/lib/fltk/FLTKConfig.cmake AND NOT EXISTS /usr/bin/fluid)
  # Debian's FLTK package configuration names the fluid program.
  message(FATAL_ERROR "Missing fluid: install the Debian package fluid (apt-get install fluid).")
endif()
find_package(OpenGL REQUIRED)
find_package(GLEW REQUIRED)
find_package(FLTK REQUIRED)

file(GLOB TAVRIN_VIEWER_SOURCES CONFIGURE_DEPENDS
  render/*.cpp render/fonts/*.cpp shaders/*.cpp ui/*.cpp app/viewer/*.cpp)
add_library(tavrin_viewer STATIC ${TAVRIN_VIEWER_SOURCES})
target_include_directories(tavrin_viewer PUBLIC ${FLTK_INCLUDE_DIR})
target_link_libraries(tavrin_viewer PUBLIC tavrin_core ${FLTK_LIBRARIES} GLEW::GLEW OpenGL::GL
                      OpenGL::GLU)
target_compile_definitions(tavrin_viewer PUBLIC TAVRIN_HAS_VIEWER=1)
# FLTK 1.3's GLUT menu calls take char*; its headers also trip -Wextra.
target_compile_options(tavrin_viewer PRIVATE -Wno-write-strings)

# The GLSL sources travel beside the programs.
file(GLOB TAVRIN_GLSL_SOURCES CONFIGURE_DEPENDS shaders/glsl/*.vert shaders/glsl/*.frag)
foreach(src ${TAVRIN_GLSL_SOURCES})
  get_filename_component(name ${src} NAME)
  configure_file(${src} ${CMAKE_CURRENT_BINARY_DIR}/${name} COPYONLY)
endforeach()
# So does the default model the viewer shows when started without a file.
configure_file(data/teapot.ply ${CMAKE_CURRENT_BINARY_DIR}/teapot.ply COPYONLY)

# Programs that need the viewer library: app/tools/viewer/tavrin_render.cpp
# becomes tavrin-render.
file(GLOB TAVRIN_VIEWER_TOOL_SOURCES CONFIGURE_DEPENDS app/tools/viewer/*.cpp)
foreach(src ${TAVRIN_VIEWER_TOOL_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  string(REPLACE "_" "-" exe ${name})
  add_executable(${exe} ${src} ${TAVRIN_THREAD_WAIT})
  target_link_libraries(${exe} PRIVATE tavrin_viewer)
endforeach()

# Frame-rate benchmarks need a display (run them under xvfb-run).
if(TAVRIN_BENCH)
  file(GLOB TAVRIN_VIEWER_BENCH_SOURCES CONFIGURE_DEPENDS bench/viewer/*.cpp)
  foreach(src ${TAVRIN_VIEWER_BENCH_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    # The frame benchmarks count allocations with allocation functions of
    # their own, so they take only the thread-wait part.
    add_executable(${name} ${src} ${CMAKE_CURRENT_SOURCE_DIR}/app/thread_wait.cpp)
    target_link_libraries(${name} PRIVATE tavrin_viewer)
  endforeach()
endif()

if(TAVRIN_TESTS)
  # The program-level tests expect the viewer's road to exist.
  target_compile_definitions(tavrin_tests PRIVATE TAVRIN_TEST_VIEWER=1)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  file(GLOB TAVRIN_VIEWER_TEST_SOURCES CONFIGURE_DEPENDS tests/viewer/*_test.cpp)
  if(TAVRIN_VIEWER_TEST_SOURCES)
    add_executable(tavrin_viewer_tests ${TAVRIN_VIEWER_TEST_SOURCES} tests/test_support.cpp
                                       ${TAVRIN_THREAD_WAIT})
    target_include_directories(tavrin_viewer_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    target_link_libraries(tavrin_viewer_tests PRIVATE tavrin_viewer GTest::gtest GTest::gtest_main)
    target_compile_options(tavrin_viewer_tests PRIVATE -Wno-write-strings)
    target_compile_definitions(tavrin_viewer_tests PRIVATE
      TAVRIN_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/tests/data"
      TAVRIN_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
    gtest_discover_tests(tavrin_viewer_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()

  # Tests that run the programs under a virtual display: each
  # tests/gui/*_test.sh gets the build directory and exits 77 to be skipped
  # where no virtual display can be started.
  file(GLOB TAVRIN_GUI_TESTS CONFIGURE_DEPENDS tests/gui/*_test.sh)
  foreach(script ${TAVRIN_GUI_TESTS})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME gui.${name} COMMAND bash ${script} ${CMAKE_CURRENT_BINARY_DIR}
             WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
    set_tests_properties(gui.${name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 RUN_SERIAL TRUE)
  endforeach()
endif()
