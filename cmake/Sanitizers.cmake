# Instrumented builds, applied to every target (our code, the tests and the fuzz targets alike).
#
#   KESTROVA_SANITIZE  AddressSanitizer and UndefinedBehaviorSanitizer, stopping at the first
#                      report (clang or gcc).
#   KESTROVA_FUZZ      the same, plus libFuzzer's coverage instrumentation everywhere, and the
#                      fuzz targets in fuzz/ (clang only).
#   KESTROVA_UBSAN     UndefinedBehaviorSanitizer alone, stopping at the first report: the 32-bit
#                      ARM build, whose programs run under qemu-user, where AddressSanitizer
#                      does not.

if(KESTROVA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KESTROVA_FUZZ needs clang (libFuzzer); configure with the \"fuzz\" preset")
  endif()
  set(KESTROVA_SANITIZE ON)
endif()

if(KESTROVA_SANITIZE)
  set(KESTROVA_SANITIZERS address,undefined)
  add_compile_options(-fsanitize=${KESTROVA_SANITIZERS} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${KESTROVA_SANITIZERS} -fno-sanitize-recover=all)
endif()

if(KESTROVA_FUZZ)
  # Coverage feedback for libFuzzer in every library a fuzz target links; only the fuzz
  # targets themselves link libFuzzer's main (-fsanitize=fuzzer, in fuzz/CMakeLists.txt).
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(KESTROVA_UBSAN AND NOT KESTROVA_SANITIZE)
  set(KESTROVA_UBSAN_FLAGS -fsanitize=undefined -fno-sanitize-recover=all)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # gcc takes the odd address of a Thumb function for a misaligned reference to it.
    list(APPEND KESTROVA_UBSAN_FLAGS -fno-sanitize=alignment)
  endif()
  add_compile_options(${KESTROVA_UBSAN_FLAGS})
  add_link_options(${KESTROVA_UBSAN_FLAGS})
endif()
