# The browser's HTTP requests over emscripten's fetch, and the page that tests them in
# headless Chromium loaded from a real tinokvak-scores.
add_library(tk_platform_web_fetch STATIC ${PROJECT_SOURCE_DIR}/src/platform/web/FetchHttp.cpp)
target_link_libraries(tk_platform_web_fetch PUBLIC tk_platform)
target_link_options(tk_platform_web_fetch INTERFACE -sFETCH=1)
tk_warnings(tk_platform_web_fetch)
# The game's page sends its results and replays through it.
if(TARGET tk_platform_web)
  target_link_libraries(tk_platform_web PUBLIC tk_platform_web_fetch)
endif()

set(tk_probe_dir ${PROJECT_BINARY_DIR}/tests/fetch_probe)
add_executable(fetch_probe ${PROJECT_SOURCE_DIR}/tests/web/fetch_probe/fetch_probe.cpp)
target_link_libraries(fetch_probe PRIVATE tk_platform_web_fetch)
# A page of its own: the browser, no file system, the runtime kept after main returns.
target_link_options(fetch_probe PRIVATE -sENVIRONMENT=web -sEXIT_RUNTIME=0 -sFILESYSTEM=0
                    "-sEXPORTED_FUNCTIONS=_main,_probe_start,_probe_cancel,_probe_reset,_malloc,_free")
set_target_properties(fetch_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${tk_probe_dir})
tk_warnings(fetch_probe)
add_custom_command(TARGET fetch_probe POST_BUILD
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/tests/web/fetch_probe/index.html
                           ${tk_probe_dir}/index.html)

# GET, POST of a replay, 404, a server that never answers and one gone, from the page's
# origin; the frame loop never waits.
find_program(TK_PYTHON3 python3 REQUIRED)
add_test(NAME web_fetch_http
         COMMAND ${TK_PYTHON3} ${PROJECT_SOURCE_DIR}/tests/web/test_fetch_http.py
                 --scores ${TK_DESKTOP_BUILD}/tinokvak-scores --checker ${TK_DESKTOP_BUILD}/tinokvak-check
                 --game-dir ${TK_DESKTOP_BUILD}/game --probe ${tk_probe_dir}
                 --replay ${PROJECT_SOURCE_DIR}/tests/replays/name-entry.tkr)
set_tests_properties(web_fetch_http PROPERTIES LABELS web TIMEOUT 300)

# The whole game from tinokvak-scores: played with real keys and clicks, its result sent from
# the browser and verified by the desktop's checker, the table kept across a reload.
add_test(NAME web_browser_online
         COMMAND ${TK_PYTHON3} ${PROJECT_SOURCE_DIR}/tests/web/test_browser_online.py
                 --scores ${TK_DESKTOP_BUILD}/tinokvak-scores --checker ${TK_DESKTOP_BUILD}/tinokvak-check
                 --game-dir ${TK_DESKTOP_BUILD}/game --page ${PROJECT_BINARY_DIR}/play)
set_tests_properties(web_browser_online PROPERTIES LABELS web TIMEOUT 300)

# The site as a visitor meets it (tests/web/test_site.py): "Играть" to a running game, "▶"
# to a verified game watched to its end in the page, the package downloaded as /download/
# describes it, every link of every page answering, and the on-screen keys of a phone; at
# 1280 and 390 pixels wide. The download folder holds a stand-in package.
add_test(NAME web_site
         COMMAND ${TK_PYTHON3} ${PROJECT_SOURCE_DIR}/tests/web/test_site.py
                 --scores ${TK_DESKTOP_BUILD}/tinokvak-scores --checker ${TK_DESKTOP_BUILD}/tinokvak-check
                 --sim ${TK_DESKTOP_BUILD}/tinokvak-sim --game-dir ${TK_DESKTOP_BUILD}/game
                 --page ${PROJECT_BINARY_DIR}/play --replay ${PROJECT_SOURCE_DIR}/tests/replays/name-entry.tkr)
set_tests_properties(web_site PROPERTIES LABELS web TIMEOUT 900)

# The page's watch mode on its own, from a static server: a kept replay played to the state
# tinokvak-sim --replay ends it in, with the viewer's controls; a damaged one, one of other
# game data, an unknown id and an unreachable server each said in place of the game.
add_test(NAME web_page_watch
         COMMAND ${TK_PYTHON3} ${PROJECT_SOURCE_DIR}/tests/web/test_page.py watch ${PROJECT_BINARY_DIR}/play
                 ${TK_DESKTOP_BUILD}/tinokvak-sim ${PROJECT_SOURCE_DIR}/tests/replays/pickups.tkr)
set_tests_properties(web_page_watch PROPERTIES LABELS web TIMEOUT 600)
