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
