# Compiles and runs one C example of README.md from the README's own text, so that the
# guide cannot drift from the library. An example is the fenced c block right after a
# line "<!-- example NAME: TARGET ... -->"; it takes a font path as its first argument,
# reads DejaVu Sans without one, and returns 1, without crashing, for a file that is
# not a font. LIBRARIES are the files of the TARGETs, comma-separated.
file(READ ${README} readme)
string(FIND "${readme}" "\n<!-- example ${NAME}:" marker)
if(marker EQUAL -1)
  message(FATAL_ERROR "README.md has no example ${NAME}")
endif()
math(EXPR marker "${marker} + 1")
string(SUBSTRING "${readme}" ${marker} -1 rest)
string(FIND "${rest}" "\n" eol)
math(EXPR eol "${eol} + 1")
string(SUBSTRING "${rest}" ${eol} -1 rest)
string(FIND "${rest}" "```c\n" fence)
string(FIND "${rest}" "\n```\n" close)
if(NOT fence EQUAL 0 OR close EQUAL -1)
  message(FATAL_ERROR "README example ${NAME}: no ```c block right after its marker")
endif()
math(EXPR length "${close} + 1 - 5")
string(SUBSTRING "${rest}" 5 ${length} code)

file(MAKE_DIRECTORY ${WORK})
set(source ${WORK}/${NAME}.c)
file(WRITE ${source} "${code}")

string(REPLACE "," ";" libraries "${LIBRARIES}")
set(rpath "")
foreach(library ${libraries})
  get_filename_component(dir ${library} DIRECTORY)
  list(APPEND rpath -Wl,-rpath,${dir})
endforeach()
separate_arguments(flags UNIX_COMMAND "${CFLAGS}")
execute_process(COMMAND ${C_COMPILER} ${flags} -std=c99 -pedantic -Wall -Wextra -Werror
                        -I${INCLUDE} ${source} ${libraries} ${rpath} -o ${WORK}/${NAME}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "README example ${NAME} does not compile (${source}):\n${out}${err}")
endif()

execute_process(COMMAND ${EMULATOR} ${WORK}/${NAME}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "${NAME}:\n${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "README example ${NAME} failed (${rc})")
endif()
execute_process(COMMAND ${EMULATOR} ${WORK}/${NAME} ${README}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "README example ${NAME} on a file that is not a font: "
                      "status ${rc}, not 1\n${out}${err}")
endif()
