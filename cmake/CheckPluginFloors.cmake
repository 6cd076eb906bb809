# Fails when a file of plugin/ includes from a folder on a higher floor than
# its own: the floors keep the plug-in free of circles between folders, and
# an include that runs back up is the first step of one.
#   cmake -DPLUGIN_DIR=<source>/plugin -P CheckPluginFloors.cmake
# The floors, lowest first; docs/architecture.md shows the same order.
set(floors host config accounting cluster counts messages commands hooks lifecycle)

file(GLOB_RECURSE sources RELATIVE "${PLUGIN_DIR}" "${PLUGIN_DIR}/*.h" "${PLUGIN_DIR}/*.cpp")
set(faults "")
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" folder "${source}")
  list(FIND floors "${folder}" own_floor)
  if(own_floor EQUAL -1)
    if(NOT folder STREQUAL source)
      string(APPEND faults "\n  ${source}: the folder ${folder} has no floor")
    endif()
    continue()
  endif()
  file(STRINGS "${PLUGIN_DIR}/${source}" includes REGEX "^#include \"[a-z_]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" target "${line}")
    list(FIND floors "${target}" target_floor)
    if(target_floor GREATER own_floor)
      string(APPEND faults "\n  ${source}: ${line} runs up from ${folder} to ${target}")
    endif()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes inside plugin/ that run back up a floor "
                      "(${floors}, lowest first):${faults}")
endif()
