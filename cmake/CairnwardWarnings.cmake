# Warnings and sanitizers shared by every target of the project.
add_library(cairnward_options INTERFACE)
target_compile_options(cairnward_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                                   -Wno-sign-conversion)
if(CAIRNWARD_WERROR)
  target_compile_options(cairnward_options INTERFACE -Werror)
endif()
if(CAIRNWARD_SANITIZE)
  target_compile_options(cairnward_options INTERFACE -fsanitize=address,undefined
                                                     -fno-sanitize-recover=undefined
                                                     -fno-omit-frame-pointer)
  target_link_options(cairnward_options INTERFACE -fsanitize=address,undefined)
endif()
if(CAIRNWARD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "CAIRNWARD_FUZZ needs clang (libFuzzer): use the fuzz preset")
  endif()
  # Coverage for libFuzzer in everything the targets run; the targets
  # themselves link the fuzzer's main.
  target_compile_options(cairnward_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
