# The fuzz targets present in this folder, shared by the fuzz build and the replay of
# their corpora in the test build. A target's source may arrive before its corpus.
set(GLYVA_FUZZ_TARGETS)
foreach(name fuzz_font fuzz_outline fuzz_tesselator fuzz_strings fuzz_readers fuzz_shape
         fuzz_layout fuzz_solid)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
    list(APPEND GLYVA_FUZZ_TARGETS ${name})
  endif()
endforeach()
# The shaping target needs the shaping library, which needs HarfBuzz.
if(NOT TARGET GlyvaShape)
  list(REMOVE_ITEM GLYVA_FUZZ_TARGETS fuzz_shape fuzz_layout)
endif()
if(NOT TARGET GlyvaSolid)
  list(REMOVE_ITEM GLYVA_FUZZ_TARGETS fuzz_solid)
endif()

# What each target links, with the fixture folder its inputs may name.
function(glyva_fuzz_target_libraries target name)
  target_link_libraries(${target} PRIVATE Glyva::Glyva)
  if(name STREQUAL "fuzz_shape" OR name STREQUAL "fuzz_layout")
    target_link_libraries(${target} PRIVATE Glyva::GlyvaShape)
    target_compile_definitions(${target} PRIVATE
      GLYVA_FIXTURE_DIR="${PROJECT_SOURCE_DIR}/tests/fonts")
  endif()
  if(name STREQUAL "fuzz_solid")
    target_link_libraries(${target} PRIVATE Glyva::GlyvaSolid)
  endif()
endfunction()
