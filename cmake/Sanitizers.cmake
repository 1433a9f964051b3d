# Compiler flags shared by every target of the project, and the sanitizer variants.
set(ZENKOR_WARNINGS -Wall -Wextra)

if(ZENKOR_SANITIZER STREQUAL "asan")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(ZENKOR_SANITIZER STREQUAL "tsan")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(ZENKOR_SANITIZER STREQUAL "fuzz")
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "the fuzz build needs clang (CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT ZENKOR_SANITIZER STREQUAL "none")
  message(FATAL_ERROR "unknown ZENKOR_SANITIZER '${ZENKOR_SANITIZER}'")
endif()

# A subsystem library: every .cpp (and .S) of its folder, public headers included from the
# source root as "folder/name.h".
function(zenkor_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.S)
  if(NOT sources)
    # Headers only, so far.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${ZENKOR_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
  if(ZENKOR_SANITIZER STREQUAL "tsan" OR ZENKOR_SANITIZER STREQUAL "fuzz")
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endfunction()
