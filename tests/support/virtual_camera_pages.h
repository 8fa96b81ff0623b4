// The virtual camera's property pages: dialog templates and the controls the tests drive. Plain
// defines, as the resource compiler reads them too.
#pragma once

#define IDD_VIRTUAL_CAMERA_DEVICE_PAGE 100
#define IDD_VIRTUAL_CAMERA_FORMAT_PAGE 101
#define IDC_VIRTUAL_CAMERA_DEVICE_TEXT 1100
#define IDC_VIRTUAL_CAMERA_SIZE_LIST 1101
