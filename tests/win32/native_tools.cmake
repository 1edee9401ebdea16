# cmake -DSOURCE=... -DBUILD=... -P native_tools.cmake: builds the native driver of the tests
# under Wine and the headless kestrova in BUILD, configuring it with the default preset first
# when it has never been configured.
if(NOT EXISTS "${BUILD}/CMakeCache.txt")
  execute_process(COMMAND "${CMAKE_COMMAND}" --preset default
                  WORKING_DIRECTORY "${SOURCE}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "configuring ${BUILD} failed")
  endif()
endif()
# Its own make, two jobs, not the windows build's make's job server.
execute_process(COMMAND "${CMAKE_COMMAND}" -E env --unset=MAKEFLAGS --unset=MFLAGS
                        "${CMAKE_COMMAND}" --build "${BUILD}" --target kestrova kestrova_wine_tests
                        -j 2
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "building kestrova_wine_tests in ${BUILD} failed")
endif()
