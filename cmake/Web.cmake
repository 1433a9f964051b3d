# The web build (emcmake cmake ... with emscripten): every object with threads and WebAssembly
# SIMD (the SSE2 forms of the inner loops compile to it, lane for lane), the libraries of
# scripts/web-deps.sh, and programs that run under node with the real file system.
#   ZENKOR_WEB_DEPS         prefix of the libraries built for wasm (build-web/deps/prefix)
#   ZENKOR_DATA_GENERATOR   the native murova-data, which writes the production's data
set(ZENKOR_WEB_DEPS "${PROJECT_BINARY_DIR}/deps/prefix" CACHE PATH "libraries built for wasm")
list(APPEND CMAKE_FIND_ROOT_PATH "${ZENKOR_WEB_DEPS}")
list(APPEND CMAKE_PREFIX_PATH "${ZENKOR_WEB_DEPS}")

add_compile_options(-pthread -msimd128 -msse2)
add_link_options(-pthread)

# Programs run by node (tests, benchmarks, build-time helpers): the program's main on a worker
# so that threads can start while it blocks, the host's files reachable, the exit code passed
# on, and memory that grows.
set(ZENKOR_NODE_LINK_OPTIONS -sPROXY_TO_PTHREAD=1 -sEXIT_RUNTIME=1 -sNODERAWFS=1 -sENVIRONMENT=node
    -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=64MB -sMAXIMUM_MEMORY=2GB -sWASM_ASYNC_COMPILATION=0
    -Wno-pthreads-mem-growth)

# zenkor_node_program(TARGET): links TARGET to run under node.
function(zenkor_node_program target)
  target_link_options(${target} PRIVATE ${ZENKOR_NODE_LINK_OPTIONS})
endfunction()
