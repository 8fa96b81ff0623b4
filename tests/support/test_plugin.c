/*
 * The test plug-in (see test_plugin_control.h). The test build compiles this file once as the
 * well-behaved plug-in and once per fault, with one TEST_PLUGIN_* definition naming the fault.
 */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "support/fixed_scene_picture.h"
#include "support/test_plugin_control.h"
#include "vq_plugin.h"

enum { MAX_SIDE = 4096 };

static struct {
    int running;
    int32_t width; /* the frame served */
    int32_t height;
    uint8_t* pixels;
    int reporting; /* report the values below instead of the frame's own */
    int32_t reportWidth;
    int32_t reportHeight;
    int32_t reportCount;
    VQ_BOOL initResult;
    VQ_BOOL setResolutionResult;
    VQ_BOOL getResolutionResult;
    VQ_BOOL optionResult;
} state;

static void Log(const char* line) {
    const char* path = getenv("RAVK_TEST_PLUGIN_LOG");
    if (path == NULL) {
        return;
    }
    FILE* file = fopen(path, "a");
    if (file != NULL) {
        fprintf(file, "%s\n", line);
        fclose(file);
    }
}

static void ServeFrame(int32_t width, int32_t height, const uint8_t* pixels) {
    const size_t bytes = (size_t)width * (size_t)height * 3;
    free(state.pixels);
    state.pixels = calloc(bytes > 0 ? bytes : 1, 1);
    if (state.pixels == NULL) {
        width = 0;
        height = 0;
    } else if (pixels != NULL) {
        memcpy(state.pixels, pixels, bytes);
    }
#if defined(TEST_PLUGIN_FIXED_SCENE)
    if (state.pixels != NULL && pixels == NULL) {
        PaintFixedScene(state.pixels, width, height);
    }
#endif
    state.width = width;
    state.height = height;
}

static void ReportedSize(int32_t* width, int32_t* height, int32_t* count) {
    if (!state.running) {
        *width = 0;
        *height = 0;
        *count = 0;
    } else if (state.reporting) {
        *width = state.reportWidth;
        *height = state.reportHeight;
        *count = state.reportCount;
    } else {
        *width = state.width;
        *height = state.height;
        *count = state.width * state.height * 3;
    }
}

__attribute__((constructor)) static void OnLoad(void) {
    ServeFrame(640, 480, NULL);
    state.initResult = 1;
    state.setResolutionResult = 1;
    state.getResolutionResult = 1;
    state.optionResult = 1;
#if defined(TEST_PLUGIN_INIT_FAILS)
    state.initResult = 0;
#elif defined(TEST_PLUGIN_SET_RESOLUTION_FAILS)
    state.setResolutionResult = 0;
#elif defined(TEST_PLUGIN_COUNT_MISMATCH)
    TestPlugin_SetReport(640, 480, 640 * 480 * 3 + 3);
#elif defined(TEST_PLUGIN_ZERO_SIZE)
    TestPlugin_SetReport(0, 0, 0);
#endif
}

__attribute__((destructor)) static void OnUnload(void) {
    free(state.pixels);
    Log("unload");
}

#if !defined(TEST_PLUGIN_NO_NAME)
#if defined(TEST_PLUGIN_EMPTY_NAME)
static const char NAME[] = "";
static const int32_t NAME_SIZE = 0;
#elif defined(TEST_PLUGIN_UNTERMINATED_NAME)
static const char NAME[] = "Unending";
static const int32_t NAME_SIZE = 8; /* the zero is not announced and not written */
#else
static const char NAME[] = "TestPlugin";
static const int32_t NAME_SIZE = sizeof NAME;
#endif

VQ_EXPORT int32_t VQ_CALL VQ_GetDllName(char* name) {
    Log(name != NULL ? "VQ_GetDllName(buffer)" : "VQ_GetDllName(null)");
    if (name != NULL && NAME_SIZE > 0) {
        memcpy(name, NAME, (size_t)NAME_SIZE);
    }
    return NAME_SIZE;
}
#endif

VQ_EXPORT VQ_BOOL VQ_CALL VQ_OnInit(void* ownerWindow) {
    char line[64];
    snprintf(line, sizeof line, "VQ_OnInit(0x%" PRIxPTR ")", (uintptr_t)ownerWindow);
    Log(line);
    state.running = state.initResult != 0;
    return state.initResult;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_SetResolution(int32_t width, int32_t height) {
    char line[64];
    snprintf(line, sizeof line, "VQ_SetResolution(%" PRId32 ", %" PRId32 ")", width, height);
    Log(line);
    if (!state.running || !state.setResolutionResult || width < 1 || height < 1 ||
        width > MAX_SIDE || height > MAX_SIDE) {
        return 0;
    }
    ServeFrame(width, height, NULL);
    return 1;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_GetResolution(int32_t* width, int32_t* height) {
    int32_t count;
    Log("VQ_GetResolution");
    ReportedSize(width, height, &count);
    return state.getResolutionResult;
}

VQ_EXPORT int32_t VQ_CALL VQ_Capture(uint8_t* pixels) {
    int32_t width;
    int32_t height;
    int32_t count;
    Log(pixels != NULL ? "VQ_Capture(buffer)" : "VQ_Capture(null)");
    ReportedSize(&width, &height, &count);
    if (pixels != NULL && count > 0) {
        const size_t frameBytes = (size_t)state.width * (size_t)state.height * 3;
        memcpy(pixels, state.pixels, (size_t)count < frameBytes ? (size_t)count : frameBytes);
    }
    return count;
}

VQ_EXPORT VQ_BOOL VQ_CALL VQ_DoModalOptionDlg(void) {
    Log("VQ_DoModalOptionDlg");
#if defined(TEST_PLUGIN_ABSURD_OPTION_SIZE)
    TestPlugin_SetReport(INT32_MAX, INT32_MAX, 0);
#endif
    return state.optionResult;
}

#if !defined(TEST_PLUGIN_NO_DESTROY)
VQ_EXPORT VQ_BOOL VQ_CALL VQ_OnDestroy(void) {
    Log("VQ_OnDestroy");
    state.running = 0;
    return 1;
}
#endif

VQ_EXPORT void TestPlugin_SetFrame(int32_t width, int32_t height, const uint8_t* pixels) {
    ServeFrame(width, height, pixels);
    state.reporting = 0;
}

VQ_EXPORT void TestPlugin_SetReport(int32_t width, int32_t height, int32_t count) {
    state.reporting = 1;
    state.reportWidth = width;
    state.reportHeight = height;
    state.reportCount = count;
}

VQ_EXPORT void TestPlugin_SetResult(const char* exportName, VQ_BOOL result) {
    if (strcmp(exportName, "VQ_OnInit") == 0) {
        state.initResult = result;
    } else if (strcmp(exportName, "VQ_SetResolution") == 0) {
        state.setResolutionResult = result;
    } else if (strcmp(exportName, "VQ_GetResolution") == 0) {
        state.getResolutionResult = result;
    } else if (strcmp(exportName, "VQ_DoModalOptionDlg") == 0) {
        state.optionResult = result;
    }
}
