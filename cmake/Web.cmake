# The web page's build (Emscripten): FreeType for wasm, built from Debian's source by
# tools/build-freetype-wasm.sh and kept in the build folder, stands in for the host's.
# No libpng (the page saves PNGs through the browser) and no SDL2.

# The folder to serve: index.html, kestrova.js, kestrova.wasm.
set(KESTROVA_PAGE_DIR "${CMAKE_BINARY_DIR}/page")

set(KESTROVA_WASM_FREETYPE "${CMAKE_BINARY_DIR}/freetype" CACHE PATH
    "FreeType built for wasm (made by tools/build-freetype-wasm.sh when missing)")
execute_process(
  COMMAND sh "${PROJECT_SOURCE_DIR}/tools/build-freetype-wasm.sh" "${KESTROVA_WASM_FREETYPE}"
  RESULT_VARIABLE freetype_result)
if(NOT freetype_result EQUAL 0 OR NOT EXISTS "${KESTROVA_WASM_FREETYPE}/lib/libfreetype.a")
  message(FATAL_ERROR "FreeType for wasm could not be built in ${KESTROVA_WASM_FREETYPE}")
endif()
add_library(kestrova_freetype INTERFACE)
target_include_directories(kestrova_freetype SYSTEM INTERFACE "${KESTROVA_WASM_FREETYPE}/include/freetype2")
target_link_libraries(kestrova_freetype INTERFACE "${KESTROVA_WASM_FREETYPE}/lib/libfreetype.a")

# emcc's JavaScript optimiser needs Debian's node modules when it links.
set(CMAKE_CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;NODE_PATH=/usr/share/nodejs")
