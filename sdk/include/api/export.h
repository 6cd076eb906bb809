#pragma once

// Symbols the host exports to plug-ins, and the few a plug-in exports to its host.
#define CAIRN_HOST_API __attribute__((visibility("default")))
#define CAIRN_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
