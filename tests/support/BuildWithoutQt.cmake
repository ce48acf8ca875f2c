# Configures and builds the core and tavix-cli with the desktop program off.
foreach(step
    "-S;${SOURCE_DIR};-B;${BINARY_DIR};-DTAVIX_BUILD_GUI=OFF;-DTAVIX_BUILD_TESTS=OFF;-DTAVIX_BUILD_BENCH=OFF"
    "--build;${BINARY_DIR};--target;tavix_core;tavix-cli")
  execute_process(COMMAND ${CMAKE_COMMAND} ${step} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake ${step} failed: ${result}")
  endif()
endforeach()
