/* Looks into the running main dialog from outside, as the UI tests need it. Texts leave as hex of
   their ANSI bytes, so the test sees exactly what the list box holds.
   probe hello | acp | platform | pending | list HEX(folder)
                                 as the system probe answers them (common.h)
   probe wait TITLE MS           waits up to MS for the dialog "TITLE": "found" or "notfound"
   probe gone TITLE MS           waits up to MS for it to disappear: "gone" or "present"
   probe items TITLE             "count N", then "item HEX" for each list entry in list order
   probe geometry TITLE          window, client area (screen) and list box rectangles:
                                 "NAME LEFT TOP RIGHT BOTTOM"
   probe controls TITLE          each child in creation order: "ID CLASS HEX(text)"
   probe post TITLE WHAT         posts to the dialog or its list: close (WM_CLOSE), sysclose
                                 (WM_SYSCOMMAND SC_CLOSE), key VK (WM_KEYDOWN/UP to the list),
                                 command ID (WM_COMMAND)
   probe sync TITLE MS           selects the list's last entry by a posted message and waits up
                                 to MS for it: "synced" once the messages posted before are handled
   probe measure TITLE EXE N W H measures the text of the dialog's Nth control (creation order):
                                 the running control's client size, W x H dialog units mapped in
                                 a copy of the dialog made from EXE's template, and the text's
                                 extent in that copy's font */

#include "common.h"

static HWND FindDialog(const char* title)
{
    return FindWindowA("#32770", title);
}

static HWND WaitDialog(const char* title, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND dialog = FindDialog(title);
        if (dialog && IsWindowVisible(dialog))
            return dialog;
        if (GetTickCount() - start >= ms)
            return NULL;
        Sleep(50);
    }
}

static HWND NeedDialog(const char* title)
{
    HWND dialog = FindDialog(title);
    if (!dialog) {
        printf("notfound\n");
        exit(1);
    }
    return dialog;
}

static int Items(const char* title)
{
    HWND list = GetDlgItem(NeedDialog(title), 1000);
    if (!list) {
        printf("nolist\n");
        return 1;
    }
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    printf("count %ld\n", (long)count);
    /* Wine hands an ANSI LB_GETTEXT from another process the UTF-16 text; ask for that and
       convert it back to the code page the program added it in. */
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (length < 0) {
            printf("error %ld\n", (long)i);
            return 1;
        }
        WCHAR* wide = (WCHAR*)calloc((size_t)length + 1, sizeof(WCHAR));
        char* text = (char*)calloc(2 * (size_t)length + 1, 1);
        if (!wide || !text)
            return 1;
        LRESULT got = SendMessageW(list, LB_GETTEXT, i, (LPARAM)wide);
        BOOL lossy = FALSE;
        int size = got > 0 ? WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, (int)got, text,
                                                 2 * (int)length, NULL, &lossy)
                           : 0;
        printf(lossy ? "lossy " : "item ");
        PrintHex(text, size > 0 ? (size_t)size : 0);
        printf("\n");
        free(wide);
        free(text);
    }
    return 0;
}

static void PrintRect(const char* name, RECT r)
{
    printf("%s %ld %ld %ld %ld\n", name, (long)r.left, (long)r.top, (long)r.right, (long)r.bottom);
}

static int Geometry(const char* title)
{
    HWND dialog = NeedDialog(title);
    RECT window, client, list;
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, HWND_DESKTOP, (POINT*)&client, 2);
    GetWindowRect(GetDlgItem(dialog, 1000), &list);
    PrintRect("window", window);
    PrintRect("client", client);
    PrintRect("list", list);
    return 0;
}

static HWND NthChild(HWND parent, int n)
{
    HWND child = GetWindow(parent, GW_CHILD);
    while (child && --n > 0)
        child = GetWindow(child, GW_HWNDNEXT);
    return child;
}

static int Controls(const char* title)
{
    HWND dialog = NeedDialog(title);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = "", text[512] = "";
        GetClassNameA(child, name, sizeof name);
        GetWindowTextA(child, text, sizeof text);
        printf("%d %s ", GetDlgCtrlID(child), name);
        PrintHex(text, strlen(text));
        printf("\n");
    }
    return 0;
}

static int Post(const char* title, int argc, char** argv)
{
    HWND dialog = NeedDialog(title);
    if (argc >= 1 && strcmp(argv[0], "close") == 0)
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    else if (argc >= 1 && strcmp(argv[0], "sysclose") == 0)
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    else if (argc >= 2 && strcmp(argv[0], "key") == 0) {
        /* Posted, not sent: the dialog's own message loop must see the key, as it sees typing. */
        HWND list = GetDlgItem(dialog, 1000);
        WPARAM vk = (WPARAM)strtoul(argv[1], NULL, 0);
        UINT scan = MapVirtualKeyA((UINT)vk, 0);
        PostMessageA(list, WM_KEYDOWN, vk, 1 | (scan << 16));
        PostMessageA(list, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
    } else if (argc >= 2 && strcmp(argv[0], "command") == 0)
        PostMessageA(dialog, WM_COMMAND, (WPARAM)strtoul(argv[1], NULL, 0), 0);
    else {
        printf("usage\n");
        return 2;
    }
    printf("posted\n");
    return 0;
}

/* Posted messages are handled in order: once the posted selection shows, so have the others. */
static int Sync(const char* title, DWORD ms)
{
    HWND list = GetDlgItem(NeedDialog(title), 1000);
    LRESULT last = SendMessageA(list, LB_GETCOUNT, 0, 0) - 1;
    if (last < 0) {
        printf("empty\n");
        return 1;
    }
    PostMessageA(list, LB_SETCURSEL, (WPARAM)last, 0);
    DWORD start = GetTickCount();
    while (SendMessageA(list, LB_GETCURSEL, 0, 0) != last) {
        if (GetTickCount() - start >= ms || !IsWindow(list)) {
            printf("timeout\n");
            return 1;
        }
        Sleep(20);
    }
    printf("synced\n");
    return 0;
}

static INT_PTR CALLBACK CopyProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)dialog;
    (void)wParam;
    (void)lParam;
    return message == WM_INITDIALOG;
}

/* The dialog manager maps units and picks the font; a copy of the dialog built from the same
   template gives both in this process, where the font can be measured. */
static int Measure(const char* title, const char* exe, int index, LONG width, LONG height)
{
    HWND control = NthChild(NeedDialog(title), index);
    if (!control) {
        printf("nocontrol\n");
        return 1;
    }
    char text[512] = "";
    GetWindowTextA(control, text, sizeof text);
    RECT client;
    GetClientRect(control, &client);
    printf("control %ld %ld\n", (long)client.right, (long)client.bottom);
    printf("text ");
    PrintHex(text, strlen(text));
    printf("\n");

    HMODULE module = LoadLibraryExA(exe, NULL, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = module ? FindResourceA(module, MAKEINTRESOURCEA(101), (LPCSTR)RT_DIALOG) : NULL;
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    const void* tmpl = loaded ? LockResource(loaded) : NULL;
    HWND copy = tmpl ? CreateDialogIndirectParamA(GetModuleHandleA(NULL), (LPCDLGTEMPLATEA)tmpl,
                                                  NULL, CopyProc, 0)
                     : NULL;
    if (!copy) {
        printf("nocopy %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    RECT units = {0, 0, width, height};
    MapDialogRect(copy, &units);
    printf("mapped %ld %ld\n", (long)units.right, (long)units.bottom);

    HFONT font = (HFONT)SendMessageA(copy, WM_GETFONT, 0, 0);
    HDC dc = GetDC(copy);
    HGDIOBJ old = SelectObject(dc, font);
    char face[LF_FACESIZE] = "";
    GetTextFaceA(dc, sizeof face, face);
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    printf("font %ld %d ", (long)metrics.tmHeight, GetTextCharset(dc));
    PrintHex(face, strlen(face));
    printf("\n");
    SIZE extent;
    GetTextExtentPoint32A(dc, text, (int)strlen(text), &extent);
    printf("extent %ld %ld\n", (long)extent.cx, (long)extent.cy);
    /* What the static control draws: word-wrapped within its width. */
    RECT drawn = {0, 0, units.right, 0};
    DrawTextA(dc, text, -1, &drawn, DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_CALCRECT);
    printf("drawn %ld %ld\n", (long)drawn.right, (long)drawn.bottom);
    SelectObject(dc, old);
    ReleaseDC(copy, dc);
    DestroyWindow(copy);
    return 0;
}

int main(int argc, char** argv)
{
    int rc = SystemCommand(argc, argv);
    if (rc >= 0)
        return rc;
    if (argc >= 4 && strcmp(argv[1], "wait") == 0) {
        HWND dialog = WaitDialog(argv[2], strtoul(argv[3], NULL, 10));
        printf(dialog ? "found\n" : "notfound\n");
        return dialog ? 0 : 1;
    }
    if (argc >= 4 && strcmp(argv[1], "gone") == 0) {
        DWORD start = GetTickCount(), ms = strtoul(argv[3], NULL, 10);
        while (FindDialog(argv[2]) && GetTickCount() - start < ms)
            Sleep(50);
        printf(FindDialog(argv[2]) ? "present\n" : "gone\n");
        return 0;
    }
    if (argc >= 3 && strcmp(argv[1], "items") == 0)
        return Items(argv[2]);
    if (argc >= 3 && strcmp(argv[1], "geometry") == 0)
        return Geometry(argv[2]);
    if (argc >= 3 && strcmp(argv[1], "controls") == 0)
        return Controls(argv[2]);
    if (argc >= 4 && strcmp(argv[1], "post") == 0)
        return Post(argv[2], argc - 3, argv + 3);
    if (argc >= 4 && strcmp(argv[1], "sync") == 0)
        return Sync(argv[2], strtoul(argv[3], NULL, 10));
    if (argc >= 7 && strcmp(argv[1], "measure") == 0)
        return Measure(argv[2], argv[3], atoi(argv[4]), atol(argv[5]), atol(argv[6]));
    printf("usage\n");
    return 2;
}
