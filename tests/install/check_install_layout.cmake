# Installs the build into PREFIX and checks that it makes a server folder
# the tools run from, without the build tree.
#   cmake -D BUILD_DIR=... -D PREFIX=... -P check_install_layout.cmake

function(fail what)
  message(FATAL_ERROR "install layout: ${what}")
endfunction()

function(install_build)
  execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(status)
    fail("cmake --install failed: ${output}")
  endif()
endfunction()

file(REMOVE_RECURSE "${PREFIX}")
install_build()

set(plugin_folder "${PREFIX}/AtlasApi/Plugins/Cairnward")
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
set(expected
  AtlasApi/Plugins/Cairnward/Cairnward.so
  AtlasApi/Plugins/Cairnward/config.json
  AtlasApi/Plugins/Cairnward/config.schema.json
  bin/cairnward-check-config
  bin/devserver
  lib/libcairnward_standin.so)
if(NOT installed STREQUAL expected)
  fail("installed ${installed}, expected ${expected}")
endif()

execute_process(COMMAND "${PREFIX}/bin/cairnward-check-config" --strict
                        "${plugin_folder}/config.json"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status OR NOT output MATCHES "no problems found")
  fail("the installed checker on the installed config: ${status} ${output}")
endif()

# Without --root the installed development server runs on the installation
# itself and loads the plug-in as installed.
file(WRITE "${PREFIX}/load.devscript" "plugin load\nquit\n")
execute_process(COMMAND "${PREFIX}/bin/devserver" --script "${PREFIX}/load.devscript"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status OR NOT output MATCHES "server folder ${PREFIX}\n"
   OR NOT output MATCHES "Loaded plugin Cairnward" OR output MATCHES "installed the fresh build")
  fail("the installed devserver: ${status} ${output}")
endif()

# A second install keeps the administrator's config.
file(WRITE "${plugin_folder}/config.json" "{\"mine\": true}\n")
install_build()
file(READ "${plugin_folder}/config.json" config)
if(NOT config STREQUAL "{\"mine\": true}\n")
  fail("a second install replaced config.json")
endif()

file(REMOVE_RECURSE "${PREFIX}")
