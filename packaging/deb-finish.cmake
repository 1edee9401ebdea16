# Run by CPack in its staging folder, before it packs, to finish the files the way Debian's
# own tools would: manual pages and the changelog compressed with gzip -9n (no name or time
# stamp, so builds are reproducible), and the binaries, already stripped by CPack, without
# the compiler's notes as dh_strip leaves them. `cmake --install` leaves all as they are.
file(GLOB_RECURSE docs
  "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/*.1"
  "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/doc/kestrova/changelog")
file(GLOB binaries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "failed (${failed}): ${ARGN}")
  endif()
endfunction()

foreach(doc IN LISTS docs)
  run(gzip -9nf "${doc}")
endforeach()
foreach(binary IN LISTS binaries)
  run("${CPACK_KESTROVA_STRIP}" --remove-section=.comment --remove-section=.note "${binary}")
endforeach()
