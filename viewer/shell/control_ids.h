/* The viewer's dialog and control ids, defined once for the Qt front end, the Windows resource
 * script and the tests. Only #define lines, so the resource compiler can read this file too. */
#ifndef RAVK_CONTROL_IDS_H
#define RAVK_CONTROL_IDS_H

/* Every dialog's own commands: OK (Enter) ends with 1; Esc, the close box or "キャンセル" with 2.
 */
#define DIALOG_OK 1
#define DIALOG_CANCEL 2

/* The main dialog "Ravkeler". Each push button's command id is its control id. */
#define IDD_MAIN_DIALOG 103
#define IDC_EXIT 1000
#define IDC_INTERCEPTER 1001
#define IDC_OPTION 1002
#define IDC_MASK 1003
#define IDC_REGION_EXPANSION 1004
#define IDC_BOX 1005
#define IDC_LOOSE_TRACKING 1006
#define IDC_CAPTURE 1007
#define IDC_ALL 1008

/* "Resolution Setting", asked once at start-up. */
#define IDD_RESOLUTION_DIALOG 129
#define IDC_RESOLUTION_640X480 1006
#define IDC_RESOLUTION_320X240 1007
#define IDC_RESOLUTION_720X480 1008
/* The button checked when the dialog opens. */
#define IDC_RESOLUTION_PRESELECTED IDC_RESOLUTION_640X480

/* "Capture Settings", before each recording. */
#define IDD_CAPTURE_SETTINGS_DIALOG 130
#define IDC_RECORD_FPS 1007
#define IDC_RECORD_SECONDS 1008

#endif /* RAVK_CONTROL_IDS_H */
