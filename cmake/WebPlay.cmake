cmake_minimum_required(VERSION 3.25)
# Puts the page's files in PLAY_DIR (run with cmake -P), every file but the page under a name
# that carries its content's hash, so a server may let browsers keep them for good
# ("name.0123456789abcdef.ext": the first 16 hex digits of its SHA-256):
#   tinokvak.HASH.js, tinokvak.HASH.wasm    the program (PROGRAM_DIR/tinokvak.js, .wasm)
#   game/...                                the game folder GAME_DIR (but its programs)
#   data/...                                the prepared data of DATA_DIR
#   index.html                              PAGE with @TK_PROGRAM_JS@, @TK_PROGRAM_WASM@ and
#                                           @TK_FILES@ (the files as JSON) filled in
#   files.json                              the same names for tools and tests:
#     {"program": {"js": URL, "wasm": URL}, "files": {"/game/Data/Graphic.dxg": URL, ...},
#      "later": ["/data/music.tkm"]}
# Files named in LATER (their paths in the page's file system) are fetched after the first
# frame. The page itself is served to be asked again every time; it is the only file that
# changes under its own name.
foreach(v GAME_DIR DATA_DIR PLAY_DIR PAGE PROGRAM_DIR)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "WebPlay.cmake needs -D${v}=...")
  endif()
endforeach()
if(NOT EXISTS ${GAME_DIR}/Data/Graphic.dxg)
  message(FATAL_ERROR "no game folder at ${GAME_DIR} (build the desktop build's game first)")
endif()
file(MAKE_DIRECTORY ${PLAY_DIR})

set(kept_names "")  # every hashed file of this build, relative to PLAY_DIR

# NAME with the hash of FILE before its extension ("Data/Graphic.dxg" -> "Data/Graphic.HASH.dxg").
function(tk_hashed_name file name out)
  file(SHA256 ${file} sum)
  string(SUBSTRING ${sum} 0 16 sum)
  get_filename_component(dir ${name} DIRECTORY)
  get_filename_component(base ${name} NAME)
  string(FIND ${base} "." dot REVERSE)
  if(dot GREATER 0)
    string(SUBSTRING ${base} 0 ${dot} stem)
    string(SUBSTRING ${base} ${dot} -1 ext)
    set(base "${stem}.${sum}${ext}")
  else()
    set(base "${base}.${sum}")
  endif()
  if(dir)
    set(${out} "${dir}/${base}" PARENT_SCOPE)
  else()
    set(${out} "${base}" PARENT_SCOPE)
  endif()
endfunction()

# Copies FILE to PLAY_DIR under its hashed NAME (once: the name says what is in it).
function(tk_put file name out)
  tk_hashed_name(${file} ${name} hashed)
  if(NOT EXISTS ${PLAY_DIR}/${hashed})
    get_filename_component(dir ${PLAY_DIR}/${hashed} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(COPY_FILE ${file} ${PLAY_DIR}/${hashed}.new)
    file(RENAME ${PLAY_DIR}/${hashed}.new ${PLAY_DIR}/${hashed})
  endif()
  set(kept_names ${kept_names} ${hashed} PARENT_SCOPE)
  set(${out} ${hashed} PARENT_SCOPE)
endfunction()

foreach(ext js wasm)
  if(NOT EXISTS ${PROGRAM_DIR}/tinokvak.${ext})
    message(FATAL_ERROR "no ${PROGRAM_DIR}/tinokvak.${ext}")
  endif()
  tk_put(${PROGRAM_DIR}/tinokvak.${ext} tinokvak.${ext} program_${ext})
endforeach()

set(entries "")  # "SIZE|/part/name|url", to be ordered largest first
foreach(part game data)
  if(part STREQUAL "game")
    set(from ${GAME_DIR})
  else()
    set(from ${DATA_DIR})
  endif()
  file(GLOB_RECURSE files RELATIVE ${from} LIST_DIRECTORIES false ${from}/*)
  list(SORT files)
  foreach(f IN LISTS files)
    # Only what the game reads: no program, nothing the player made in the build's folder.
    if(f MATCHES "^(tinokvak|Config\\.cfg.*|Replays/.*|Unsent/.*)$" OR IS_SYMLINK ${from}/${f})
      continue()
    endif()
    if(f MATCHES "[\"\\\\]")
      message(FATAL_ERROR "a file name the page's list cannot carry: ${from}/${f}")
    endif()
    tk_put(${from}/${f} ${part}/${f} url)
    file(SIZE ${from}/${f} size)
    string(LENGTH "${size}" digits)
    string(SUBSTRING "000000000000${size}" ${digits} 12 padded)
    list(APPEND entries "${padded}|/${part}/${f}|${url}")
  endforeach()
endforeach()
# The page asks for them in this order, and a browser takes only a few at once from one
# server: the largest go first, so the last to arrive is a small one.
list(SORT entries ORDER DESCENDING)
set(files_json "")
set(sep "")
foreach(entry IN LISTS entries)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 1 path)
  list(GET entry 2 url)
  string(APPEND files_json "${sep}\n    \"${path}\": \"${url}\"")
  set(sep ",")
endforeach()

set(later_json "")
set(sep "")
foreach(f IN LISTS LATER)
  string(APPEND later_json "${sep}\"${f}\"")
  set(sep ", ")
endforeach()

# Anything an earlier build left (other hashes, files gone from the source folders, the
# program under its plain names) goes; the page's own files beside index.html stay.
file(GLOB_RECURSE old RELATIVE ${PLAY_DIR} LIST_DIRECTORIES false
     ${PLAY_DIR}/game/* ${PLAY_DIR}/data/* ${PLAY_DIR}/tinokvak.*)
foreach(f IN LISTS old)
  if(NOT f IN_LIST kept_names)
    file(REMOVE ${PLAY_DIR}/${f})
  endif()
endforeach()

# Written only when they change, so a server keeping them by time sees no new version.
function(tk_write name text)
  file(WRITE ${PLAY_DIR}/${name}.new "${text}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PLAY_DIR}/${name}.new ${PLAY_DIR}/${name})
  file(REMOVE ${PLAY_DIR}/${name}.new)
endfunction()

tk_write(files.json "{\n  \"program\": {\"js\": \"${program_js}\", \"wasm\": \"${program_wasm}\"},\n  \"files\": {${files_json}\n  },\n  \"later\": [${later_json}]\n}\n")

set(TK_PROGRAM_JS ${program_js})
set(TK_PROGRAM_WASM ${program_wasm})
set(TK_FILES "{${files_json}\n  }")
set(TK_LATER "[${later_json}]")
configure_file(${PAGE} ${PLAY_DIR}/index.html.new @ONLY)
file(READ ${PLAY_DIR}/index.html.new page)
file(REMOVE ${PLAY_DIR}/index.html.new)
tk_write(index.html "${page}")
