# Installs the built library into a private prefix, then builds and runs a host
# against that prefix twice: with pkg-config flags and as a CMake package.
set(prefix ${WORK}/prefix)
set(font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf)
file(REMOVE_RECURSE ${WORK})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BINARY} --prefix ${prefix})
file(GLOB_RECURSE pcfile ${prefix}/*/glyva.pc)
get_filename_component(pcdir "${pcfile}" DIRECTORY)
get_filename_component(libdir "${pcdir}" DIRECTORY)

set(emulator "")
if(TOOLCHAIN)
  include(${TOOLCHAIN})
  set(emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
  set(ENV{PKG_CONFIG_LIBDIR} "${pcdir}:${GLYVA_PKG_CONFIG_LIBDIR}")
else()
  set(ENV{PKG_CONFIG_PATH} "${pcdir}")
endif()
run(pkg-config --cflags --libs glyva)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${CXXFLAGS}")
run(${COMPILER} ${extra} -std=c++17 ${SOURCE}/tests/consumer/consumer.cpp ${flags}
    -Wl,-rpath,${libdir} -o ${WORK}/consumer-pkgconfig)
run(${emulator} ${WORK}/consumer-pkgconfig ${font})
message(STATUS "pkg-config host: ${last_output}")

# The solid library, where it was built: a C host through its own pkg-config module.
if(EXISTS ${pcdir}/glyvaSolid.pc)
  run(pkg-config --cflags --libs glyvaSolid)
  string(STRIP "${last_output}" solid_flags)
  separate_arguments(solid_flags UNIX_COMMAND "${solid_flags}")
  # An old-style RPATH, which also serves the libraries' own dependencies: a C host uses
  # nothing of libGlyva directly, so the linker does not keep it as the host's own.
  run(${C_COMPILER} ${extra} -std=c99 ${SOURCE}/tests/consumer/solid_consumer.c ${solid_flags}
      -Wl,--disable-new-dtags -Wl,-rpath,${libdir} -o ${WORK}/solid-consumer-pkgconfig)
  run(${emulator} ${WORK}/solid-consumer-pkgconfig ${font})
  message(STATUS "pkg-config solid host: ${last_output}")
endif()

set(toolchain_arg "")
if(TOOLCHAIN)
  set(toolchain_arg -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run(${CMAKE_COMMAND} -S ${SOURCE}/tests/consumer -B ${WORK}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} ${toolchain_arg}
    -DCMAKE_BUILD_RPATH=${libdir})
run(${CMAKE_COMMAND} --build ${WORK}/cmake-build)
run(${emulator} ${WORK}/cmake-build/consumer ${font})
message(STATUS "CMake host: ${last_output}")
if(EXISTS ${WORK}/cmake-build/solid_consumer)
  run(${emulator} ${WORK}/cmake-build/solid_consumer ${font})
  message(STATUS "CMake solid host: ${last_output}")
endif()
