# The WebAssembly build, configured with emcmake (see scripts/build-web.sh). Only the
# layers that need no desktop library build here so far, with the cross-check that proves
# the browser computes what the desktop computes.
set(TK_DESKTOP_BUILD "${PROJECT_SOURCE_DIR}/build" CACHE PATH
    "The desktop build whose programs the browser's are compared with")
# Node runs the programs; its built-in fetch would take the module's .wasm for an address.
find_program(TK_NODE node REQUIRED)
set(TK_NODE_COMMAND ${TK_NODE} --no-experimental-fetch)

add_compile_options(-fexceptions)
add_link_options(-fexceptions -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=node -sEXIT_RUNTIME=1)

enable_testing()

add_subdirectory(src/replay)
add_subdirectory(src/persist)
add_subdirectory(tools/crosscheck)

# The desktop's and the browser's builds compute the same sines, cosines and draws.
add_test(NAME web_crosscheck
         COMMAND ${PROJECT_SOURCE_DIR}/tests/web/crosscheck.sh ${TK_DESKTOP_BUILD}/tinokvak-crosscheck
                 ${TK_NODE_COMMAND} ${PROJECT_BINARY_DIR}/tinokvak-crosscheck.js)
set_tests_properties(web_crosscheck PROPERTIES LABELS web)
