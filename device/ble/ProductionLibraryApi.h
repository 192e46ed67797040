#pragma once

/* The Bluetooth-module production library's entry points as the bridge calls
   them. Plain C, so that the stand-in library can be built against the very
   same declarations. */

#ifdef __cplusplus
extern "C" {
#endif

/* Events the library reports; `data` points to an int. */
enum { ZQBLE_EVENT_PROGRESS = 1, ZQBLE_EVENT_COMPLETE = 6 };

/* Size of the buffer that SetFirmwareFile writes its NUL-terminated text into. */
enum { ZQBLE_FIRMWARE_TEXT_SIZE = 128 };

typedef int (*ZQBLEEventCallback)(int event, void* data, void* extra);

typedef int (*ZQBLEInitializeFn)(int mode, ZQBLEEventCallback callback);
typedef int (*ZQBLESetLibPathFn)(const char* folder);
typedef int (*ZQBLERefreshDeviceFn)(int kind);
typedef int (*ZQBLESetFirmwareFileFn)(const char* path, char* text);
typedef int (*ZQBLESetConfigurationFn)(const char* key, const char* value);
typedef int (*ZQBLEGetConfigurationFn)(const char* key, char* value, int capacity);
typedef int (*ZQBLEDownloadFn)(void);
typedef int (*ZQBLEReleaseFn)(void);

#ifdef __cplusplus
}
#endif
