// Resource and control ids of the key configuration tool.
#pragma once

#define IDD_KEYCONFIG 101
#define IDI_KEYCONFIG 102

#define IDC_CLEAR 1009
#define IDC_CANCEL 1010
#define IDC_OK 1011
#define IDC_FIELD_FIRST 1101 /* key S; key k is IDC_FIELD_FIRST + k */
#define IDC_FIELD_LAST 1108  /* key B */
#define IDC_PAD_STATUS 1012  /* the status line; after the template's other controls, no tab stop */
