# kestrova_embed(TARGET SYMBOL FILE): links the bytes of FILE into TARGET as
#   extern "C" const unsigned char SYMBOL[]; extern "C" const unsigned char SYMBOL_end[];
#   ELF assembly natively, its WebAssembly counterpart for the web page.
if(EMSCRIPTEN)
  set(KESTROVA_EMBED_TEMPLATE "${CMAKE_CURRENT_LIST_DIR}/embed-wasm.S.in")
else()
  set(KESTROVA_EMBED_TEMPLATE "${CMAKE_CURRENT_LIST_DIR}/embed.S.in")
endif()

function(kestrova_embed target symbol file)
  set(EMBED_SYMBOL "${symbol}")
  set(EMBED_FILE "${file}")
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${symbol}.S")
  configure_file("${KESTROVA_EMBED_TEMPLATE}" "${out}" @ONLY)
  set_source_files_properties("${out}" PROPERTIES OBJECT_DEPENDS "${file}")
  target_sources(${target} PRIVATE "${out}")
endfunction()
