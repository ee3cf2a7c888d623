# Runs one example of README.md from the README's own text, so that the guide cannot
# drift from the library. Every example takes a font as its first argument, uses a
# default font without one, and exits with status 1, without crashing, for a file that
# is not a font; it runs in WORK, where what it writes stays. C examples are compiled
# against LIBRARIES (comma-separated files) and run under EMULATOR; Python examples run
# with PYTHON, importing glyva from PYTHONPATH.
include(${CMAKE_CURRENT_LIST_DIR}/readme_extract.cmake)
glyva_readme_example(${README} ${NAME} code language)
file(MAKE_DIRECTORY ${WORK})

if(language STREQUAL "c")
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
  set(command ${EMULATOR} ${WORK}/${NAME})
else()
  set(source ${WORK}/${NAME}.py)
  file(WRITE ${source} "${code}")
  set(ENV{PYTHONPATH} ${PYTHONPATH})
  set(ENV{PYTHONDONTWRITEBYTECODE} 1)
  set(command ${PYTHON} ${source})
endif()

execute_process(COMMAND ${command} WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "${NAME}:\n${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "README example ${NAME} failed (${rc})")
endif()
execute_process(COMMAND ${command} ${README} WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "README example ${NAME} on a file that is not a font: "
                      "status ${rc}, not 1\n${out}${err}")
endif()
