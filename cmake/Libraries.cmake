# zenkor_library(NAME [OBJECT] [SOURCES ...] [DEPENDS ...] [PRIVATE_DEPENDS ...])
#   A subsystem's static library: the given sources, or every .cpp (and .S) of its folder.
#   Public headers are included from the source root as "folder/name.h". OBJECT puts every
#   object whole into each program that links it, for a production, whose hooks the host's
#   runtime calls from a library linked after it. The tsan and fuzz builds build a library only
#   when one of their targets needs it.
function(zenkor_library name)
  cmake_parse_arguments(ARG "OBJECT" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  if(ARG_SOURCES)
    set(sources ${ARG_SOURCES})
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.S)
  endif()
  if(ARG_OBJECT)
    add_library(${name} OBJECT ${sources})
  else()
    add_library(${name} STATIC ${sources})
  endif()
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${ZENKOR_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
  if(ZENKOR_SANITIZER STREQUAL "tsan" OR ZENKOR_SANITIZER STREQUAL "fuzz")
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endfunction()
