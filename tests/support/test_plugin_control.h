/*
 * Test plug-ins: real capture plug-ins built by the test build into the bin folder, for tests of
 * the viewer's binding, start-up and front ends.
 *
 * test_plugin.so is well behaved (display name "TestPlugin"). Until VQ_OnInit it reports 0 x 0
 * and a count of 0; VQ_OnInit succeeds and serves a black 640 x 480 frame; VQ_SetResolution
 * accepts 1 x 1 to 4096 x 4096 and serves a black frame of that size. The other files are the same
 * plug-in with one fault each:
 *
 *   test_plugin_no_name.so               exports no VQ_GetDllName
 *   test_plugin_empty_name.so            VQ_GetDllName returns 0
 *   test_plugin_unterminated_name.so     announces 8 bytes and writes "Unending" without a zero
 *   test_plugin_count_mismatch.so        VQ_Capture counts 3 bytes more than the size it reports
 *   test_plugin_zero_size.so             reports 0 x 0 and a count of 0 after VQ_OnInit too
 *   test_plugin_no_destroy.so            exports no VQ_OnDestroy
 *   test_plugin_init_fails.so            VQ_OnInit returns false
 *   test_plugin_set_resolution_fails.so  VQ_SetResolution returns false
 *   test_plugin_absurd_option_size.so    reports 2147483647 x 2147483647 after its option dialog
 *   test_plugin_fixed_scene.so           serves the picture of fixed_scene_picture.h
 *
 * Call log: when the environment variable RAVK_TEST_PLUGIN_LOG names a file, every test plug-in
 * appends one line per call it receives, in order, and "unload" when the system unloads it:
 *   VQ_GetDllName(null)  VQ_GetDllName(buffer)  VQ_OnInit(0x<ownerWindow in hex>)
 *   VQ_SetResolution(<width>, <height>)  VQ_GetResolution  VQ_Capture(null)  VQ_Capture(buffer)
 *   VQ_DoModalOptionDlg  VQ_OnDestroy  unload
 *
 * Control: every test plug-in also exports the functions below. A test looks them up in the same
 * file while the binding under test holds it loaded (loading a file that is loaded already gives
 * the same module, so both see one state); the module's state starts afresh at every real load.
 */
#ifndef TEST_PLUGIN_CONTROL_H
#define TEST_PLUGIN_CONTROL_H

#include "vq_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Serves width x height pixels from now on, copied from pixels (contract layout) or all zero when
 * pixels is NULL, and ends any report set by TestPlugin_SetReport. */
VQ_EXPORT void TestPlugin_SetFrame(int32_t width, int32_t height, const uint8_t* pixels);

/* From now on, while initialised, VQ_GetResolution reports width x height and VQ_Capture returns
 * count, whatever frame is served; VQ_Capture writes min(count, frame bytes) bytes of the frame. */
VQ_EXPORT void TestPlugin_SetReport(int32_t width, int32_t height, int32_t count);

/* The result the boolean export exportName ("VQ_OnInit", "VQ_SetResolution", "VQ_GetResolution"
 * or "VQ_DoModalOptionDlg") returns from now on. */
VQ_EXPORT void TestPlugin_SetResult(const char* exportName, VQ_BOOL result);

typedef void (*TestPlugin_SetFrameFunc)(int32_t width, int32_t height, const uint8_t* pixels);
typedef void (*TestPlugin_SetReportFunc)(int32_t width, int32_t height, int32_t count);
typedef void (*TestPlugin_SetResultFunc)(const char* exportName, VQ_BOOL result);

#ifdef __cplusplus
}
#endif

#endif /* TEST_PLUGIN_CONTROL_H */
