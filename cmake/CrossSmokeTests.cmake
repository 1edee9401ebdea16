# In a cross build the whole-program tests cannot start the program themselves; these run it
# through the build's emulator (CTest puts CMAKE_CROSSCOMPILING_EMULATOR in front of a target
# named as the command): every menu command on each layout and format, then the window closes
# and the program must exit 0. tools/test.sh also runs the monkey against this binary.

# Command ids by name, as app/resources/resource.h defines them (CMD_BITBLT and so on).
set(KESTROVA_RESOURCE_H "${PROJECT_SOURCE_DIR}/app/resources/resource.h")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${KESTROVA_RESOURCE_H}")
file(STRINGS "${KESTROVA_RESOURCE_H}" KESTROVA_COMMAND_LINES REGEX "^#define CMD_[A-Z]+ +[0-9]+")
foreach(line IN LISTS KESTROVA_COMMAND_LINES)
  string(REGEX MATCH "^#define (CMD_[A-Z]+) +([0-9]+)" _ "${line}")
  set(${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endforeach()
if(NOT CMD_BITBLT)
  message(FATAL_ERROR "CMD_BITBLT not found in app/resources/resource.h")
endif()

set(KESTROVA_SMOKE_SCRIPT "${CMAKE_BINARY_DIR}/smoke/every-command.script")
file(WRITE "${KESTROVA_SMOKE_SCRIPT}"
  "menu Tools/BitBlt\n"
  "menu Tools/Lines\n"
  "menu Tools/Circles\n"
  "menu Tools/Clear Screen\n"
  "menu Tools/About\n"
  "key Return\n"
  "tap 5 60\n"
  "down 3 3\n"
  "move 40 40\n"
  "up 40 40\n"
  "key Escape\n"
  "command ${CMD_BITBLT}\n"
  "menu Tools/Exit\n")

foreach(layout normal padded mirrored rotated)
  foreach(format 565 555)
    set(name smoke.${layout}.${format})
    file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/smoke/run-${layout}-${format}")
    add_test(NAME ${name}
             COMMAND kestrova --headless --display 241x323 --layout ${layout} --format ${format}
                     --script "${KESTROVA_SMOKE_SCRIPT}"
                     --trace "${CMAKE_BINARY_DIR}/smoke/${layout}-${format}.trace")
    # Instances of one run must not meet another's.
    set_tests_properties(${name} PROPERTIES TIMEOUT 120
                         ENVIRONMENT "XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/smoke/run-${layout}-${format}")
  endforeach()
endforeach()
# Without a frame buffer, start-up's message box comes first.
file(READ "${KESTROVA_SMOKE_SCRIPT}" KESTROVA_SMOKE_LINES)
file(WRITE "${CMAKE_BINARY_DIR}/smoke/faults.script" "key Return\n${KESTROVA_SMOKE_LINES}")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/smoke/run-faults")
add_test(NAME smoke.faults
         COMMAND kestrova --headless --fail framebuffer --fail alloc --fail bitmap
                 --script "${CMAKE_BINARY_DIR}/smoke/faults.script")
set_tests_properties(smoke.faults PROPERTIES TIMEOUT 120 ENVIRONMENT "XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/smoke/run-faults")
