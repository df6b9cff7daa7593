# Builds the _paifu extension module for one Python interpreter, from the same source for PyPy
# and CPython. The interpreter itself names the header directory and the file suffix it
# imports (PyPy will not import CMake's WITH_SOABI name), and no Python library is linked: the
# interpreter provides the symbols when it loads the module.

set(PAIFU_MODULE_SOURCES
  ${PROJECT_SOURCE_DIR}/src/lib/module.cpp
  ${PROJECT_SOURCE_DIR}/src/lib/binding.cpp
  ${PROJECT_SOURCE_DIR}/src/lib/barrier.cpp)

# paifu_add_python_module(TARGET INTERPRETER OUTPUT_DIR): sets ${TARGET}_DIR in the caller.
function(paifu_add_python_module target interpreter output_dir)
  execute_process(
    COMMAND ${interpreter} -c
      "import sysconfig; print(sysconfig.get_paths()['include']); print(sysconfig.get_config_var('EXT_SUFFIX'))"
    OUTPUT_VARIABLE answer RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    message(FATAL_ERROR "${interpreter} could not tell its header directory and module suffix")
  endif()
  string(REPLACE "\n" ";" answer "${answer}")
  list(GET answer 0 include_dir)
  list(GET answer 1 suffix)
  if(NOT EXISTS ${include_dir}/Python.h)
    message(FATAL_ERROR "${include_dir}/Python.h is missing: install the development package of ${interpreter}")
  endif()

  add_library(${target} MODULE ${PAIFU_MODULE_SOURCES})
  target_include_directories(${target} SYSTEM PRIVATE ${include_dir})
  target_link_libraries(${target} PRIVATE paifu_core)
  target_compile_definitions(${target} PRIVATE PAIFU_VERSION="${PROJECT_VERSION}"
    $<$<BOOL:${PAIFU_FAULT_INJECTION}>:PAIFU_FAULT_INJECTION>)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME _paifu PREFIX "" SUFFIX "${suffix}"
    LIBRARY_OUTPUT_DIRECTORY ${output_dir}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  # Only the entry point is exported; the core and the C++ runtime pieces stay private.
  target_link_options(${target} PRIVATE
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/src/lib/exports.map)

  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/src/lib/exports.map)
  # The type information lies beside the module (mypy finds it there through MYPYPATH; setup.py
  # installs it beside the module and as the stub package _paifu-stubs).
  configure_file(${PROJECT_SOURCE_DIR}/src/lib/_paifu.pyi ${output_dir}/_paifu.pyi COPYONLY)
endfunction()
