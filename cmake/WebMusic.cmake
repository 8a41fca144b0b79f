# The browser build's music: the desktop's module player plays every module of the game at
# build time (tinokvak-tunes) into data/music.tkm, which the browser's module player
# (media/web/MusicPlayerWeb.cpp) plays through our mixer and decodes with stb_vorbis; and
# the Web Audio output the page pulls our mixer through (platform/web/WebAudio.*).
set(TK_GAME_MODULES ${TK_DESKTOP_BUILD}/game/Music/1.xm ${TK_DESKTOP_BUILD}/game/Music/2.xm
                    ${TK_DESKTOP_BUILD}/game/Music/3.xm)
add_custom_command(OUTPUT ${TK_WEB_DATA_DIR}/music.tkm
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${TK_WEB_DATA_DIR}
                   COMMAND ${TK_DESKTOP_BUILD}/tinokvak-tunes ${TK_WEB_DATA_DIR}/music.tkm ${TK_DESKTOP_BUILD}/game
                   DEPENDS ${TK_DESKTOP_BUILD}/tinokvak-tunes ${TK_GAME_MODULES}
                   COMMENT "The game's modules played by the desktop's module player" VERBATIM)
add_custom_target(tk_web_music ALL DEPENDS ${TK_WEB_DATA_DIR}/music.tkm)
add_dependencies(tinokvak-sim tk_web_music)

# stb_vorbis from Debian's libstb-dev, which the toolchain's own headers do not reach.
find_path(TK_STB_DIR stb/stb_vorbis.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(CREATE_LINK ${TK_STB_DIR}/stb ${TK_WEB_INCLUDE}/stb SYMBOLIC)
target_include_directories(tk_media PRIVATE ${TK_WEB_INCLUDE})

# The module player under Node beside the desktop's: the same orders at the same frames,
# the same sound but for what Vorbis leaves out, the same refusals of damaged modules, and
# a decoding that is the same every time and everywhere.
add_executable(tinokvak-tunes-probe ${PROJECT_SOURCE_DIR}/tools/tunes/probe.cpp)
target_link_libraries(tinokvak-tunes-probe PRIVATE tk_media)
target_link_options(tinokvak-tunes-probe PRIVATE -sNODERAWFS=1
                    --pre-js ${PROJECT_SOURCE_DIR}/tools/tunes/web/node-env.js)
set_property(TARGET tinokvak-tunes-probe APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/tools/tunes/web/node-env.js)
set_target_properties(tinokvak-tunes-probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
add_dependencies(tinokvak-tunes-probe tk_web_music)
tk_warnings(tinokvak-tunes-probe)
find_program(TK_PYTHON python3 NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_test(NAME web_tunes
         COMMAND ${TK_PYTHON} ${PROJECT_SOURCE_DIR}/tests/web/tunes.py
                 --desktop ${TK_DESKTOP_BUILD} --data ${TK_WEB_DATA_DIR} --out ${PROJECT_BINARY_DIR}/tunes-check
                 -- ${TK_NODE_COMMAND} ${PROJECT_BINARY_DIR}/tinokvak-tunes-probe.js)
set_tests_properties(web_tunes PROPERTIES LABELS web TIMEOUT 900)

# The Web Audio output, and a page of ours that plays our mixer through it in headless
# Chromium: suspended until a key, then pulling the mixer and heard by an AnalyserNode,
# then closed.
add_library(tk_platform_web_audio STATIC ${PROJECT_SOURCE_DIR}/src/platform/web/WebAudio.cpp)
target_include_directories(tk_platform_web_audio PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tk_platform_web_audio PUBLIC tk_platform)
tk_warnings(tk_platform_web_audio)
set(TK_AUDIO_TEST_DIR ${PROJECT_BINARY_DIR}/audio-test)
add_executable(tinokvak-audio-test ${PROJECT_SOURCE_DIR}/tests/web/audio/audio_test.cpp)
target_link_libraries(tinokvak-audio-test PRIVATE tk_platform_web_audio tk_media)
target_link_options(tinokvak-audio-test PRIVATE -sENVIRONMENT=web -sEXIT_RUNTIME=0)
set_target_properties(tinokvak-audio-test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TK_AUDIO_TEST_DIR})
tk_warnings(tinokvak-audio-test)
configure_file(${PROJECT_SOURCE_DIR}/tests/web/audio/index.html ${TK_AUDIO_TEST_DIR}/index.html COPYONLY)
add_test(NAME web_audio COMMAND ${TK_PYTHON} ${PROJECT_SOURCE_DIR}/tests/web/audio.py ${TK_AUDIO_TEST_DIR})
set_tests_properties(web_audio PROPERTIES LABELS web TIMEOUT 300)

# The whole game's music under Node beside the desktop's, and a damaged module in both.
add_test(NAME web_sim_music
         COMMAND ${TK_PYTHON} ${PROJECT_SOURCE_DIR}/tests/web/sim_music.py ${TK_DESKTOP_BUILD}/tinokvak-sim
                 ${TK_DESKTOP_BUILD}/game ${PROJECT_SOURCE_DIR}/tests/web/music.sim ${PROJECT_BINARY_DIR}/sim-music
                 -- ${TK_NODE_COMMAND} ${PROJECT_BINARY_DIR}/tinokvak-sim.js)
set_tests_properties(web_sim_music PROPERTIES LABELS web TIMEOUT 900)
