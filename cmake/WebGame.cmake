# The game in the browser: the web platform (tk_platform_web), the game's program for the
# page, and the page itself with the game's data, all in play/ ready to be served.
set(TK_WEB_PLAY_DIR ${PROJECT_BINARY_DIR}/play)

add_library(tk_platform_web STATIC ${PROJECT_SOURCE_DIR}/src/platform/web/WebPlatform.cpp
                                   ${PROJECT_SOURCE_DIR}/src/platform/web/KeyCodes.cpp)
target_include_directories(tk_platform_web PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tk_platform_web PUBLIC tk_platform tk_platform_web_audio)
tk_warnings(tk_platform_web)

# The state line (app/assembly/StateLine.cpp) is JSON.
target_include_directories(tk_app_game PRIVATE ${TK_WEB_INCLUDE})

# The replay viewer of the desktop's window, for the page's watch mode (/play/?watch=ID).
set(tk_web_watch_sources ${PROJECT_SOURCE_DIR}/app/web/WebWatch.cpp ${PROJECT_SOURCE_DIR}/app/ReplayViewer.cpp
    ${PROJECT_SOURCE_DIR}/app/ViewerDisplay.cpp)

# The program: tinokvak.js and tinokvak.wasm for our own page (index.html).
set(tk_page_js ${PROJECT_SOURCE_DIR}/app/web/page.js)
add_executable(tinokvak-web ${PROJECT_SOURCE_DIR}/app/web/main.cpp ${PROJECT_SOURCE_DIR}/app/web/WebScript.cpp
               ${tk_web_watch_sources})
target_include_directories(tinokvak-web PRIVATE ${PROJECT_SOURCE_DIR}/app)
target_link_libraries(tinokvak-web PRIVATE tk_app_game tk_platform_web)
# The page's bands around the canvas, its watch mode and its on-screen keys come after it.
set(tk_page_parts ${PROJECT_SOURCE_DIR}/app/web/stage.js ${PROJECT_SOURCE_DIR}/app/web/watch.js
    ${PROJECT_SOURCE_DIR}/app/web/touch.js)
set_target_properties(tinokvak-web PROPERTIES OUTPUT_NAME tinokvak SUFFIX .js
                      RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/program LINK_DEPENDS "${tk_page_js};${tk_page_parts}")
# Later settings win over the Node programs' defaults of Web.cmake.
target_link_options(tinokvak-web PRIVATE -sENVIRONMENT=web -sEXIT_RUNTIME=0 -sFORCE_FILESYSTEM=1
                    -lidbfs.js "SHELL:--pre-js ${tk_page_js}")
foreach(part IN LISTS tk_page_parts)
  target_link_options(tinokvak-web PRIVATE "SHELL:--pre-js ${part}")
endforeach()
tk_warnings(tinokvak-web)

# The page and what it loads: the program, the game folder of the desktop build as it is
# (the archives unchanged: replays carry their hash) and the prepared data, each under a
# name with its hash, named in the page (cmake/WebPlay.cmake). The music is fetched after
# the first frame.
add_custom_target(tk_web_play ALL
                  COMMAND ${CMAKE_COMMAND} -DGAME_DIR=${TK_DESKTOP_BUILD}/game -DDATA_DIR=${TK_WEB_DATA_DIR}
                          -DPLAY_DIR=${TK_WEB_PLAY_DIR} -DPAGE=${PROJECT_SOURCE_DIR}/app/web/index.html
                          -DPROGRAM_DIR=${PROJECT_BINARY_DIR}/program -DLATER=/data/music.tkm
                          -P ${PROJECT_SOURCE_DIR}/cmake/WebPlay.cmake
                  DEPENDS tk_web_data tk_web_music
                  COMMENT "The page and its data in play/" VERBATIM)
add_dependencies(tk_web_play tinokvak-web)

# The page in headless Chromium (tests/web/test_page.py, over tests/web/devtools.py): the
# canvas equals the desktop's frames of the README's screenshot script, a game played with
# real keys checks on the desktop, the player's files outlive a reload (a damaged
# Config.cfg kept aside), and the canvas sits where the window's rules put it.
# A path, not the imported target: the build would run a target through its emulator (Node).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(tk_page_test ${PROJECT_SOURCE_DIR}/tests/web/test_page.py)
add_test(NAME web_page_frames
         COMMAND ${Python3_EXECUTABLE} ${tk_page_test} frames ${TK_WEB_PLAY_DIR}
                 ${TK_DESKTOP_BUILD}/tinokvak-sim ${PROJECT_SOURCE_DIR}/docs/screenshots.sim)
# Every menu screen, the logo and the exit screen; and two kept games with a shot every few
# lines: the pond, the feeding stage with the stork, game over, the name entry, the table.
add_test(NAME web_page_frames_menus
         COMMAND ${Python3_EXECUTABLE} ${tk_page_test} frames ${TK_WEB_PLAY_DIR}
                 ${TK_DESKTOP_BUILD}/tinokvak-sim ${PROJECT_SOURCE_DIR}/tests/web/scenes.sim 4)
add_test(NAME web_page_frames_name_entry
         COMMAND ${Python3_EXECUTABLE} ${tk_page_test} frames ${TK_WEB_PLAY_DIR}
                 ${TK_DESKTOP_BUILD}/tinokvak-sim ${PROJECT_SOURCE_DIR}/tests/replays/name-entry.sim 16 80)
add_test(NAME web_page_frames_stork
         COMMAND ${Python3_EXECUTABLE} ${tk_page_test} frames ${TK_WEB_PLAY_DIR}
                 ${TK_DESKTOP_BUILD}/tinokvak-sim ${PROJECT_SOURCE_DIR}/tests/replays/stork.sim 34 100)
add_test(NAME web_page_play
         COMMAND ${Python3_EXECUTABLE} ${tk_page_test} play ${TK_WEB_PLAY_DIR}
                 ${TK_DESKTOP_BUILD}/tinokvak-sim ${tk_web_sim})
add_test(NAME web_page_storage COMMAND ${Python3_EXECUTABLE} ${tk_page_test} storage ${TK_WEB_PLAY_DIR})
add_test(NAME web_page_layout COMMAND ${Python3_EXECUTABLE} ${tk_page_test} layout ${TK_WEB_PLAY_DIR})
add_test(NAME web_page_window COMMAND ${Python3_EXECUTABLE} ${tk_page_test} window ${TK_WEB_PLAY_DIR})
add_test(NAME web_page_failures COMMAND ${Python3_EXECUTABLE} ${tk_page_test} failures ${TK_WEB_PLAY_DIR})
add_test(NAME web_page_names COMMAND ${Python3_EXECUTABLE} ${tk_page_test} names ${TK_WEB_PLAY_DIR}
                                     ${TK_DESKTOP_BUILD}/tinokvak-scores ${TK_DESKTOP_BUILD}/game)
set_tests_properties(web_page_frames web_page_frames_menus web_page_frames_name_entry web_page_frames_stork
                     web_page_play web_page_storage web_page_layout web_page_window
                     web_page_failures web_page_names
                     PROPERTIES LABELS web TIMEOUT 600)
