/* Grablet's dialog and control ids, defined once for its Qt windows, the Windows resource script
 * and the tests. Only #define lines, so the resource compiler can read this file too. */
#ifndef GRABLET_CONTROL_IDS_H
#define GRABLET_CONTROL_IDS_H

/* The dialogs' OK button. */
#define IDC_GRABLET_OK 1

/* COptionDlg, "Grablet オプション". */
#define IDD_OPTION_DIALOG 1000
#define IDC_OPTION_TABLE 1002
#define IDC_INPUT_SETTINGS 1003
#define IDC_SOURCE_SETTINGS 1004

/* CDeviceSelectDlg, "デバイスの選択". */
#define IDD_DEVICE_SELECT_DIALOG 1001
#define IDC_DEVICE_LIST 1001

#endif /* GRABLET_CONTROL_IDS_H */
