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

# What the browser cannot make as the desktop does is made at build time by the desktop's
# own tools into data/: the glyph tables of every style the game draws text in, and the
# game's JPEG pictures decoded. The programs here find it there (or where TK_WEB_DATA
# says).
set(TK_WEB_DATA_DIR ${PROJECT_BINARY_DIR}/data)
include(${PROJECT_SOURCE_DIR}/cmake/GlyphStyles.cmake)
add_custom_command(OUTPUT ${TK_WEB_DATA_DIR}/glyphs.tkg
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${TK_WEB_DATA_DIR}
                   COMMAND ${TK_DESKTOP_BUILD}/tinokvak-glyphs ${TK_WEB_DATA_DIR}/glyphs.tkg ${TK_GLYPH_STYLES}
                   DEPENDS ${TK_DESKTOP_BUILD}/tinokvak-glyphs ${PROJECT_SOURCE_DIR}/cmake/GlyphStyles.cmake
                   COMMENT "Glyph tables by the desktop's text renderer" VERBATIM)
add_custom_command(OUTPUT ${TK_WEB_DATA_DIR}/pictures.tkj
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${TK_WEB_DATA_DIR}
                   COMMAND ${TK_DESKTOP_BUILD}/tinokvak-pictures ${TK_WEB_DATA_DIR}/pictures.tkj
                           ${TK_DESKTOP_BUILD}/game
                   DEPENDS ${TK_DESKTOP_BUILD}/tinokvak-pictures ${TK_DESKTOP_BUILD}/game/Data/Graphic.dxg
                   COMMENT "The game's JPEG pictures decoded by the desktop's decoder" VERBATIM)
add_custom_target(tk_web_data ALL DEPENDS ${TK_WEB_DATA_DIR}/glyphs.tkg ${TK_WEB_DATA_DIR}/pictures.tkj)

add_subdirectory(src/protocol)
add_subdirectory(src/replay)
tk_web_layer(tk_platform src/platform)
set_source_files_properties(${PROJECT_SOURCE_DIR}/src/platform/Program.cpp
                            PROPERTIES COMPILE_DEFINITIONS "TK_VERSION=\"${PROJECT_VERSION}\"")
# The headless platform with the glyph tables and no network (headless/web/).
tk_web_layer(tk_platform_headless src/platform/headless SUBDIRS web EXCLUDE HeadlessDesktop.cpp
             DEPS tk_platform)
target_compile_definitions(tk_platform_headless PRIVATE TK_WEB_DATA_DIR="${TK_WEB_DATA_DIR}")
# The prepared pictures for libjpeg, a silent module player for libxmp (media/web/).
tk_web_layer(tk_media src/media SUBDIRS web EXCLUDE JpegCodec.cpp MusicPlayer.cpp DEPS tk_platform)
target_compile_definitions(tk_media PRIVATE TK_WEB_DATA_DIR="${TK_WEB_DATA_DIR}")
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

# tinokvak-sim under Node, on the real file system: it plays the desktop build's game folder
# (the same archives, whose hash replays carry).
find_path(TK_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(TK_WEB_INCLUDE ${PROJECT_BINARY_DIR}/include)
file(MAKE_DIRECTORY ${TK_WEB_INCLUDE})
file(CREATE_LINK ${TK_NLOHMANN_DIR}/nlohmann ${TK_WEB_INCLUDE}/nlohmann SYMBOLIC)
add_executable(tinokvak-sim ${PROJECT_SOURCE_DIR}/tools/sim/main.cpp ${PROJECT_SOURCE_DIR}/tools/sim/Sim.cpp
               ${PROJECT_SOURCE_DIR}/tools/sim/SimReplay.cpp
               ${PROJECT_SOURCE_DIR}/tools/sim/ShotFile.cpp ${PROJECT_SOURCE_DIR}/tools/sim/web/ShotPngWeb.cpp)
target_include_directories(tinokvak-sim PRIVATE ${TK_WEB_INCLUDE})
target_link_libraries(tinokvak-sim PRIVATE tk_app_game tk_platform_headless)
target_compile_definitions(tinokvak-sim PRIVATE TK_DEFAULT_GAME_DIR="${TK_DESKTOP_BUILD}/game")
target_link_options(tinokvak-sim PRIVATE -sNODERAWFS=1)
set_target_properties(tinokvak-sim PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
add_dependencies(tinokvak-sim tk_web_data)
tk_warnings(tinokvak-sim)

# The desktop's and the browser's builds compute the same sines, cosines and draws.
add_test(NAME web_crosscheck
         COMMAND ${PROJECT_SOURCE_DIR}/tests/web/crosscheck.sh ${TK_DESKTOP_BUILD}/tinokvak-crosscheck
                 ${TK_NODE_COMMAND} ${PROJECT_BINARY_DIR}/tinokvak-crosscheck.js)
set_tests_properties(web_crosscheck PROPERTIES LABELS web)

# tinokvak-sim under Node plays as the desktop's: every kept replay checks alike, the
# README's screenshot script gives the same frames, and random runs the same state every
# tick.
set(tk_web_sim ${TK_NODE_COMMAND} ${PROJECT_BINARY_DIR}/tinokvak-sim.js)
add_test(NAME web_sim_replays
         COMMAND ${PROJECT_SOURCE_DIR}/tests/web/sim.sh replays ${TK_DESKTOP_BUILD}/tinokvak-sim
                 ${PROJECT_SOURCE_DIR}/tests/replays -- ${tk_web_sim})
add_test(NAME web_sim_frames
         COMMAND ${PROJECT_SOURCE_DIR}/tests/web/sim.sh frames ${TK_DESKTOP_BUILD}/tinokvak-sim
                 ${PROJECT_SOURCE_DIR}/docs/screenshots.sim -- ${tk_web_sim})
add_test(NAME web_sim_soak
         COMMAND ${PROJECT_SOURCE_DIR}/tests/web/sim.sh soak ${TK_DESKTOP_BUILD}/tinokvak-sim
                 30000 1 2 3 -- ${tk_web_sim})
set_tests_properties(web_sim_replays web_sim_frames web_sim_soak PROPERTIES LABELS web)
include(${PROJECT_SOURCE_DIR}/cmake/WebMusic.cmake)
include(${PROJECT_SOURCE_DIR}/cmake/WebGame.cmake)
include(${PROJECT_SOURCE_DIR}/cmake/WebFetch.cmake)
