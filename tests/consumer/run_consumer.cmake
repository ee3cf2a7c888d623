# Installs the built tree, moves it to another folder, and then runs what a host would
# from there with no LD_LIBRARY_PATH: for every library installed (every pkg-config
# file) a host built with pkg-config's flags and one built as a CMake package, then the
# installed glyva-mesh when the build has it (TOOL), and the README's Python examples
# with the installed module when the build has it (PYTHON, the package under
# PYTHON_SITE).
set(staging ${WORK}/staging)
set(prefix ${WORK}/prefix)
set(font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
unset(ENV{LD_LIBRARY_PATH})

# Everything runs in WORK, where what the examples write stays.
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BINARY} --prefix ${staging})
file(RENAME ${staging} ${prefix})
file(GLOB_RECURSE pcfiles ${prefix}/*/pkgconfig/*.pc)
list(GET pcfiles 0 pcfile)
get_filename_component(pcdir "${pcfile}" DIRECTORY)
get_filename_component(libdir "${pcdir}" DIRECTORY)

set(emulator "")
set(toolchain_arg "")
if(TOOLCHAIN)
  include(${TOOLCHAIN})
  set(emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
  set(toolchain_arg -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
  set(ENV{PKG_CONFIG_LIBDIR} "${pcdir}:${GLYVA_PKG_CONFIG_LIBDIR}")
else()
  set(ENV{PKG_CONFIG_PATH} "${pcdir}")
endif()

# A library without a host here fails the test: each one needs its own.
set(modules "")
foreach(pc ${pcfiles})
  get_filename_component(module ${pc} NAME_WE)
  list(APPEND modules ${module})
  if(EXISTS ${SOURCE}/tests/consumer/${module}.c)
    set(source ${SOURCE}/tests/consumer/${module}.c)
    set(compiler ${C_COMPILER})
    separate_arguments(extra UNIX_COMMAND "${CFLAGS} -std=c99")
  elseif(EXISTS ${SOURCE}/tests/consumer/${module}.cpp)
    set(source ${SOURCE}/tests/consumer/${module}.cpp)
    set(compiler ${CXX_COMPILER})
    separate_arguments(extra UNIX_COMMAND "${CXXFLAGS} -std=c++17")
  else()
    message(FATAL_ERROR "no host for the installed library ${module}: "
                        "add tests/consumer/${module}.c or .cpp")
  endif()
  run(pkg-config --cflags --libs ${module})
  string(STRIP "${last_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(${compiler} ${extra} -Wall -Wextra -Werror -Wl,--as-needed ${source} ${flags}
      -Wl,-rpath,${libdir} -o ${WORK}/${module}-pkgconfig)
  run(${emulator} ${WORK}/${module}-pkgconfig ${font})
  message(STATUS "pkg-config host of ${module}: ${last_output}")
endforeach()

string(REPLACE ";" "," module_list "${modules}")
run(${CMAKE_COMMAND} -S ${SOURCE}/tests/consumer -B ${WORK}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} ${toolchain_arg} -DMODULES=${module_list})
run(${CMAKE_COMMAND} --build ${WORK}/cmake-build)
foreach(module ${modules})
  run(${emulator} ${WORK}/cmake-build/${module} ${font})
  message(STATUS "CMake host of ${module}: ${last_output}")
endforeach()

if(TOOL)
  set(tool ${prefix}/${BINDIR}/glyva-mesh)
  run(${emulator} ${tool} --version)
  if(NOT last_output MATCHES "${VERSION}")
    message(FATAL_ERROR "glyva-mesh --version does not name ${VERSION}:\n${last_output}")
  endif()
  run(${emulator} ${tool} --font ${font} Glyva -o ${WORK}/glyva.obj)
  file(STRINGS ${WORK}/glyva.obj vertices REGEX "^v ")
  file(STRINGS ${WORK}/glyva.obj faces REGEX "^f ")
  list(LENGTH vertices vertex_count)
  list(LENGTH faces face_count)
  if(vertex_count LESS 3 OR face_count LESS 1)
    message(FATAL_ERROR "the installed glyva-mesh wrote no mesh to glyva.obj")
  endif()
  message(STATUS "installed glyva-mesh: ${vertex_count} vertices, ${face_count} faces")
endif()

if(PYTHON)
  set(ENV{PYTHONPATH} ${prefix}/${PYTHON_SITE})
  set(ENV{PYTHONDONTWRITEBYTECODE} 1)
  run(${PYTHON} -c "import glyva, importlib.metadata as m, sys
assert glyva.__file__.startswith(sys.argv[1]), glyva.__file__
assert m.version('glyva') == glyva.__version__ and m.metadata('glyva')['License'] == 'MIT'
print(glyva.__file__)" ${prefix})
  message(STATUS "installed Python module: ${last_output}")
  include(${SOURCE}/tests/readme_extract.cmake)
  file(STRINGS ${SOURCE}/README.md markers REGEX "^<!-- example [A-Za-z0-9_]+:")
  foreach(marker ${markers})
    string(REGEX REPLACE "^<!-- example ([A-Za-z0-9_]+):.*" "\\1" name "${marker}")
    glyva_readme_example(${SOURCE}/README.md ${name} code language)
    if(language STREQUAL "python")
      file(WRITE ${WORK}/${name}.py "${code}")
      run(${PYTHON} ${WORK}/${name}.py ${font})
      message(STATUS "README example ${name} with the installed module:\n${last_output}")
    endif()
  endforeach()
endif()
