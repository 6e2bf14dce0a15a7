# The Python module `tavrin` (pybind11, numpy) over the library: built into
# build/python/tavrin/ beside its pure-Python parts, so that tests import it
# from there, and installed where Debian's python3 finds it.
if(NOT pybind11_FOUND OR NOT Python3_FOUND)
  message(FATAL_ERROR "TAVRIN_PYTHON needs pybind11 and the Python headers: install the Debian "
                      "packages pybind11-dev, python3-pybind11, python3-dev and python3-numpy, "
                      "or configure with -DTAVRIN_PYTHON=OFF")
endif()
pybind11_add_module(tavrin_python MODULE NO_EXTRAS python/module.cpp)
target_link_libraries(tavrin_python PRIVATE tavrin_library)
set(TAVRIN_PYTHON_PACKAGE ${CMAKE_CURRENT_BINARY_DIR}/python/tavrin)
set_target_properties(tavrin_python PROPERTIES OUTPUT_NAME _tavrin
                      LIBRARY_OUTPUT_DIRECTORY ${TAVRIN_PYTHON_PACKAGE})
file(GLOB TAVRIN_PYTHON_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/python/tavrin/*.py)
foreach(f ${TAVRIN_PYTHON_FILES})
  get_filename_component(name ${f} NAME)
  configure_file(${f} ${TAVRIN_PYTHON_PACKAGE}/${name} COPYONLY)
endforeach()

# Debian's python3 reads /usr/local/lib/python3.X/dist-packages.
set(TAVRIN_PYTHON_INSTALL_DIR
    lib/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/dist-packages
    CACHE STRING "Where the module is installed, relative to the prefix")
install(TARGETS tavrin_python LIBRARY DESTINATION ${TAVRIN_PYTHON_INSTALL_DIR}/tavrin)
install(FILES ${TAVRIN_PYTHON_FILES} DESTINATION ${TAVRIN_PYTHON_INSTALL_DIR}/tavrin)

if(TAVRIN_TESTS)
  add_test(NAME python_module
           COMMAND ${Python3_EXECUTABLE} -m pytest -q -p no:cacheprovider
                   ${CMAKE_CURRENT_SOURCE_DIR}/tests/python)
  set_tests_properties(python_module PROPERTIES TIMEOUT 1200
    ENVIRONMENT "PYTHONPATH=${CMAKE_CURRENT_BINARY_DIR}/python;TAVRIN_BINARY_DIR=${CMAKE_CURRENT_BINARY_DIR};TAVRIN_SOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR}")
endif()
