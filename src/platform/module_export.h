// How a plug-in module marks the functions it exports: on Windows they go into
// the DLL's export table (undecorated C names), elsewhere they are the only
// symbols of the module with default visibility.
#pragma once

#if defined(_WIN32)
#define TV_MODULE_EXPORT __declspec(dllexport)
#else
#define TV_MODULE_EXPORT __attribute__((visibility("default")))
#endif
