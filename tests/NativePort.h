// TSerDev opens through column 0 only the platform's own kind of port name ("COM<n>" on Windows,
// a path here): tests whose column is scripted or simulated name their port both ways.
// NATIVE_DEVICE is the path the column is then asked to open.
#pragma once

#ifdef _WIN32
#define NATIVE_PORT(path, com) com
#define NATIVE_DEVICE(path, com) "\\\\.\\" com
#else
#define NATIVE_PORT(path, com) path
#define NATIVE_DEVICE(path, com) path
#endif
