# Warnings as errors for our own code only; sanitizers and fuzzing as build options.
function(tk_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-missing-field-initializers)
endfunction()

if(TK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(TK_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# A library made of every .cpp in the current folder. DEPS are the project's libraries whose
# headers this one's headers use; PUBLIC_LIBS outside libraries its headers expose (their
# include folders reach every user); PRIVATE_LIBS outside libraries only its .cpp files
# include (their include folders stay here).
function(tk_layer name)
  cmake_parse_arguments(ARG "" "" "DEPS;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    message(FATAL_ERROR "${name}: no .cpp files in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  tk_warnings(${name})
endfunction()
