# The WebAssembly build, configured with emcmake (see scripts/build-web.sh). So far every
# layer's sources that need no desktop library build here, as libraries, with the
# cross-check that proves the browser computes what the desktop computes.
set(TK_DESKTOP_BUILD "${PROJECT_SOURCE_DIR}/build" CACHE PATH
    "The desktop build whose programs the browser's are compared with")
# Node runs the programs; its built-in fetch would take the module's .wasm for an address.
find_program(TK_NODE node REQUIRED)
set(TK_NODE_COMMAND ${TK_NODE} --no-experimental-fetch)

add_compile_options(-fexceptions)
add_link_options(-fexceptions -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=node -sEXIT_RUNTIME=1)

enable_testing()

# A layer of the desktop build without the sources that need a desktop library; the
# browser's counterparts of those are still to come (the text renderer, the JPEG pictures,
# the module player, HTTP, the window).
function(tk_web_layer name dir)
  cmake_parse_arguments(ARG "" "" "SUBDIRS;EXCLUDE;DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
  foreach(d IN LISTS ARG_SUBDIRS)
    file(GLOB more CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/${d}/*.cpp)
    list(APPEND srcs ${more})
  endforeach()
  foreach(x IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM srcs ${PROJECT_SOURCE_DIR}/${dir}/${x})
  endforeach()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  tk_warnings(${name})
endfunction()

add_subdirectory(src/protocol)
add_subdirectory(src/replay)
tk_web_layer(tk_platform src/platform)
set_source_files_properties(${PROJECT_SOURCE_DIR}/src/platform/Program.cpp
                            PROPERTIES COMPILE_DEFINITIONS "TK_VERSION=\"${PROJECT_VERSION}\"")
tk_web_layer(tk_platform_headless src/platform/headless DEPS tk_platform)
tk_web_layer(tk_media src/media EXCLUDE Picture.cpp MusicPlayer.cpp DEPS tk_platform)
set_source_files_properties(${PROJECT_SOURCE_DIR}/src/media/Trig.cpp PROPERTIES COMPILE_OPTIONS -ffp-contract=off)
add_subdirectory(src/sprites)
add_subdirectory(src/shell)
add_subdirectory(src/persist)
add_subdirectory(src/game)
add_subdirectory(src/menus)
add_subdirectory(src/online)
add_subdirectory(src/exitscreen)
tk_web_layer(tk_app_game app/assembly DEPS tk_game tk_menus tk_online tk_exitscreen tk_shell tk_persist)
target_include_directories(tk_app_game PUBLIC ${PROJECT_SOURCE_DIR}/app)
target_compile_definitions(tk_app_game PRIVATE TK_SCORE_SERVER="${TK_SCORE_SERVER}")
add_subdirectory(tools/crosscheck)

# The desktop's and the browser's builds compute the same sines, cosines and draws.
add_test(NAME web_crosscheck
         COMMAND ${PROJECT_SOURCE_DIR}/tests/web/crosscheck.sh ${TK_DESKTOP_BUILD}/tinokvak-crosscheck
                 ${TK_NODE_COMMAND} ${PROJECT_BINARY_DIR}/tinokvak-crosscheck.js)
set_tests_properties(web_crosscheck PROPERTIES LABELS web)
