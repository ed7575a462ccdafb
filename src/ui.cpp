/* The main dialog: a drop target that lists what is pending for the next start. */

#include "vornel.h"
#include "resource.h"

#include <shellapi.h>

HWND g_hPendingList;

static void OnInitDialog(HWND hDlg)
{
    HANDLE smallIcon =
        LoadImageA(g_hInstance, MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
    HANDLE largeIcon =
        LoadImageA(g_hInstance, MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR);
    SendMessageA(hDlg, WM_SETICON, ICON_BIG, (LPARAM)largeIcon);
    SendMessageA(hDlg, WM_SETICON, ICON_SMALL, (LPARAM)smallIcon);

    g_hPendingList = GetDlgItem(hDlg, IDC_PENDING_LIST);
    RefreshPendingList();
}

/* Each item is scheduled completely before the next is fetched; the list is rebuilt once. */
static void OnDropFiles(HDROP drop)
{
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, NULL, 0);
    for (UINT i = 0; i < count; ++i) {
        char path[MAX_PATH];
        if (DragQueryFileA(drop, i, path, MAX_PATH) != 0)
            ScheduleDeletion(path);
    }
    DragFinish(drop);
    RefreshPendingList();
}

INT_PTR CALLBACK MainDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(hDlg);
        return FALSE;

    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, 0);
            return TRUE;
        }
        return FALSE;

    case WM_DROPFILES:
        OnDropFiles((HDROP)wParam);
        return TRUE;
    }
    return FALSE;
}
