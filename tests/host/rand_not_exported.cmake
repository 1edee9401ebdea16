# cmake -DNM=nm -DBINARY=kestrova -P rand_not_exported.cmake
# Fails when the binary's dynamic symbol table defines rand: a shared library loaded into the
# process would then draw from the program's generator instead of the C library's.
execute_process(COMMAND "${NM}" -D --defined-only "${BINARY}"
                OUTPUT_VARIABLE symbols ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${BINARY}: ${errors}")
endif()
if(symbols MATCHES "[ \t]rand\n")
  message(FATAL_ERROR "${BINARY} exports rand:\n${symbols}")
endif()
