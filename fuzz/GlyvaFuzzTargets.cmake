# The fuzz targets present in this folder, shared by the fuzz build and the replay of
# their corpora in the test build. A target's source may arrive before its corpus.
set(GLYVA_FUZZ_TARGETS)
foreach(name fuzz_font fuzz_tesselator fuzz_strings fuzz_readers)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
    list(APPEND GLYVA_FUZZ_TARGETS ${name})
  endif()
endforeach()
