# `cmake --install <build> --prefix X` lays out:
#   X/AtlasApi/Plugins/Cairnward/  Cairnward.so, config.json, config.schema.json
#                                  (component "plugin": what a server needs)
#   X/bin/                         devserver, cairnward-check-config
#   X/lib/                         libcairnward_standin.so, which both run on
#                                  (component "tools")
# X may be a server folder itself. An existing config.json is kept.

set(CAIRNWARD_PLUGIN_FOLDER "AtlasApi/Plugins/Cairnward")
set(example_plugin_folder "${PROJECT_SOURCE_DIR}/examples/server/${CAIRNWARD_PLUGIN_FOLDER}")

install(TARGETS cairnward_plugin
  LIBRARY DESTINATION ${CAIRNWARD_PLUGIN_FOLDER} COMPONENT plugin)
install(FILES "${example_plugin_folder}/config.schema.json"
  DESTINATION ${CAIRNWARD_PLUGIN_FOLDER} COMPONENT plugin)
# The example only where there is no config yet: an administrator's stays.
install(CODE "
  set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CAIRNWARD_PLUGIN_FOLDER}\")
  if(EXISTS \"\${folder}/config.json\")
    message(STATUS \"Keeping: \${folder}/config.json\")
  else()
    file(INSTALL \"${example_plugin_folder}/config.json\" DESTINATION \"\${folder}\")
  endif()"
  COMPONENT plugin)

set_target_properties(devserver cairnward_check_config PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
install(TARGETS devserver cairnward_check_config RUNTIME DESTINATION bin COMPONENT tools)
install(TARGETS cairnward_standin LIBRARY DESTINATION lib COMPONENT tools)
