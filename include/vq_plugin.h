/*
 * The capture plug-in contract: the seven functions a plug-in exports and the viewer calls, and
 * the layout of a frame. Usable from C and C++. This is everything the viewer and a plug-in know
 * of each other.
 *
 * Common rules for every export:
 * - Thread: the viewer's user-interface thread, the one that loaded the module. Never the
 *   recording thread. A plug-in needs no locks for calls it receives.
 * - Buffers: every buffer that crosses is owned by the caller (the viewer) and only borrowed for
 *   the length of the call. A plug-in never hands out memory of its own.
 * - Names: exported undecorated, exactly as below; the viewer looks each one up again at every
 *   use, so each stays resolvable for as long as the module is loaded.
 * - Booleans: one byte, true when non-zero; the viewer tests that byte only.
 *
 * Call order, as the viewer performs it:
 *   1. load the module;
 *   2. VQ_GetDllName(NULL) for the size, then VQ_GetDllName(buffer);
 *   3. VQ_OnInit, once;
 *   4. VQ_SetResolution with the size the user chose;
 *   5. per frame: VQ_Capture(NULL) for the byte count, VQ_GetResolution, and when the count is
 *      width x height x 3, VQ_Capture(buffer) with a buffer of that many bytes;
 *   6. VQ_DoModalOptionDlg at any time after 3, then VQ_GetResolution (the size may change);
 *   7. VQ_OnDestroy, once (also when VQ_OnInit failed), then the module is unloaded.
 *
 * Frame layout: a frame is exactly width x height x 3 bytes, with width and height as
 * VQ_GetResolution reports them. Each pixel is three bytes, blue, green, red, with no alpha.
 * Rows run bottom-up (the first width x 3 bytes are the bottom row of the picture) and are packed
 * (one row is width x 3 bytes, no padding between rows).
 */
#ifndef VQ_PLUGIN_H
#define VQ_PLUGIN_H

#include <stdint.h>

/* The platform's standard convention for exports; on 32-bit Windows the callee pops its
 * arguments. */
#if defined(_WIN32) && !defined(_WIN64)
#define VQ_CALL __stdcall
#else
#define VQ_CALL
#endif

#if defined(_WIN32)
#define VQ_EXPORT __declspec(dllexport)
#else
#define VQ_EXPORT __attribute__((visibility("default")))
#endif

/* A boolean result: one byte, non-zero is true. */
typedef uint8_t VQ_BOOL;

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Copies the plug-in's display name and its terminating zero into name, unless name is NULL.
 * Returns the size of the name in bytes including the terminating zero, the same with and without
 * a buffer; the caller's buffer must hold at least that many bytes (there is no size argument).
 * Works at any time, also before VQ_OnInit. Shows no window.
 */
VQ_EXPORT int32_t VQ_CALL VQ_GetDllName(char* name);

/*
 * Starts the capture: finds the source, may let the user choose it, and starts the flow of frames.
 * ownerWindow is the viewer's main window, an opaque value a plug-in may use as the owner of its
 * own windows. May show modal windows (source choice, failure messages); the call returns when
 * they are closed. True: frames flow and VQ_GetResolution reports their size. Called once.
 */
VQ_EXPORT VQ_BOOL VQ_CALL VQ_OnInit(void* ownerWindow);

/*
 * Asks for frames of width x height pixels and restarts the flow. True when the size is in force;
 * false leaves the previous size. The first frames after a change may be all zero bytes. Before a
 * successful VQ_OnInit there is nothing to resize and the result is false. Shows no window.
 */
VQ_EXPORT VQ_BOOL VQ_CALL VQ_SetResolution(int32_t width, int32_t height);

/*
 * Writes the current frame size. Always true. Before a successful VQ_OnInit the size is 0 x 0.
 * Shows no window.
 */
VQ_EXPORT VQ_BOOL VQ_CALL VQ_GetResolution(int32_t* width, int32_t* height);

/*
 * Refreshes the plug-in's copy of the newest frame and, unless pixels is NULL, copies it into
 * pixels (width x height x 3 bytes in the frame layout above). Returns width x height x 3, the
 * same with and without a buffer. Before a successful VQ_OnInit: returns 0 and writes nothing.
 * Shows no window.
 */
VQ_EXPORT int32_t VQ_CALL VQ_Capture(uint8_t* pixels);

/*
 * Shows the plug-in's option dialog, modally, and returns when it is closed, however it was
 * closed. The frame size may change meanwhile. Always true. Called only after VQ_OnInit.
 */
VQ_EXPORT VQ_BOOL VQ_CALL VQ_DoModalOptionDlg(void);

/*
 * Stops the flow of frames and releases what VQ_OnInit created, also after a failed VQ_OnInit.
 * Afterwards only unloading follows. Always true. Shows no window.
 */
VQ_EXPORT VQ_BOOL VQ_CALL VQ_OnDestroy(void);

/* The exports as the viewer calls them after looking them up by name. */
typedef int32_t(VQ_CALL* VQ_GetDllNameFunc)(char* name);
typedef VQ_BOOL(VQ_CALL* VQ_OnInitFunc)(void* ownerWindow);
typedef VQ_BOOL(VQ_CALL* VQ_SetResolutionFunc)(int32_t width, int32_t height);
typedef VQ_BOOL(VQ_CALL* VQ_GetResolutionFunc)(int32_t* width, int32_t* height);
typedef int32_t(VQ_CALL* VQ_CaptureFunc)(uint8_t* pixels);
typedef VQ_BOOL(VQ_CALL* VQ_DoModalOptionDlgFunc)(void);
typedef VQ_BOOL(VQ_CALL* VQ_OnDestroyFunc)(void);

#ifdef __cplusplus
}
#endif

#endif /* VQ_PLUGIN_H */
