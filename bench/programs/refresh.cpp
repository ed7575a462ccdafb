/* Times the program's own RefreshPendingList in the program's own dialog (hidden) against a
   floor that reads PendingFileRenameOperations once and adds the same strings to the same list
   box.
     refresh N REPS
   writes N deletions into the value, then prints one line per repetition:
     open PROG FLOOR drop PROG FLOOR empty PROG FLOOR     (microseconds)
   "open": the list box is empty, as when the dialog opens; "drop": it holds the N entries of
   the previous refresh, as after a drop, and the floor empties it with the same LB_DELETESTRING
   calls; "empty": the part of "drop" that empties the list. */

#include "vornel.h"
#include "resource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

HINSTANCE g_hInstance;
HWND g_hPendingList;

static const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
static const char kPending[] = "PendingFileRenameOperations";

static LONGLONG Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

static long long Micros(LONGLONG ticks)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return ticks * 1000000 / f.QuadPart;
}

static void Die(const char* what)
{
    fprintf(stderr, "refresh: %s (error %lu)\n", what, (unsigned long)GetLastError());
    exit(2);
}

/* Deletions as the system records them: "\??\" and a full path, an empty destination. */
static DWORD WritePendingValue(int n)
{
    std::string data;
    char path[MAX_PATH];
    for (int i = 0; i < n; ++i) {
        snprintf(path, sizeof path,
                 "\\??\\C:\\bench\\t%d\\group_%02d\\sub_%02d\\file_%05d_data.txt", n, i / 500,
                 (i / 50) % 10, i);
        data += path;
        data += '\0';
        data += '\0';
    }
    data += '\0';

    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != 0)
        Die("cannot open the Session Manager key");
    if (RegSetValueExA(key, kPending, 0, REG_MULTI_SZ, (const BYTE*)data.data(),
                       (DWORD)data.size()) != 0)
        Die("cannot write the pending value");
    RegCloseKey(key);
    return (DWORD)data.size();
}

static void EmptyList()
{
    LRESULT count = SendMessageA(g_hPendingList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        SendMessageA(g_hPendingList, LB_DELETESTRING, 0, 0);
}

/* The system's part of a refresh: one read of the value, one LB_ADDSTRING per deletion. */
static void FloorRead(DWORD capacity)
{
    char* data = (char*)malloc(capacity + 1);
    HKEY key = NULL;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key);
    DWORD type = 0, size = capacity;
    RegQueryValueExA(key, kPending, NULL, &type, (LPBYTE)data, &size);
    RegCloseKey(key);
    for (DWORD p = 0; p < size && data[p] != '\0';) {
        size_t length = strlen(data + p);
        SendMessageA(g_hPendingList, LB_ADDSTRING, 0, (LPARAM)(data + p + 4));
        p += (DWORD)length + 2;
    }
    free(data);
}

static INT_PTR CALLBACK HarnessDialogProc(HWND hDlg, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        g_hPendingList = GetDlgItem(hDlg, IDC_PENDING_LIST);
        return FALSE;
    }
    return FALSE;
}

static void Check(int n, const char* what)
{
    LRESULT count = SendMessageA(g_hPendingList, LB_GETCOUNT, 0, 0);
    if (count != n) {
        fprintf(stderr, "refresh: %s left %ld entries, expected %d\n", what, (long)count, n);
        exit(1);
    }
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: refresh N REPS\n");
        return 2;
    }
    int n = atoi(argv[1]);
    int reps = atoi(argv[2]);
    g_hInstance = GetModuleHandleA(NULL);
    DWORD capacity = WritePendingValue(n);

    HWND dialog =
        CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, HarnessDialogProc, 0);
    if (dialog == NULL || g_hPendingList == NULL)
        Die("cannot create the dialog");

    for (int rep = 0; rep < reps; ++rep) {
        long long progOpen = 0, floorOpen = 0, progDrop = 0, floorDrop = 0, progEmpty = 0,
                  floorEmpty = 0;
        /* Alternate which side goes first, so neither always finds a warmer heap. */
        for (int side = 0; side < 2; ++side) {
            bool floor = (side == 0) == (rep % 2 == 1);
            SendMessageA(g_hPendingList, LB_RESETCONTENT, 0, 0);
            LONGLONG t0 = Now();
            if (floor)
                FloorRead(capacity);
            else
                RefreshPendingList();
            LONGLONG t1 = Now();
            Check(n, floor ? "the floor" : "RefreshPendingList");
            LONGLONG t2 = Now();
            if (floor)
                EmptyList(), FloorRead(capacity);
            else
                RefreshPendingList();
            LONGLONG t3 = Now();
            Check(n, floor ? "the floor" : "RefreshPendingList");
            LONGLONG t4 = Now();
            EmptyList();
            LONGLONG t5 = Now();
            Check(0, "emptying");
            (floor ? floorOpen : progOpen) = Micros(t1 - t0);
            (floor ? floorDrop : progDrop) = Micros(t3 - t2);
            (floor ? floorEmpty : progEmpty) = Micros(t5 - t4);
        }
        printf("open %lld %lld drop %lld %lld empty %lld %lld\n", progOpen, floorOpen, progDrop,
               floorDrop, progEmpty, floorEmpty);
        fflush(stdout);
    }
    DestroyWindow(dialog);
    return 0;
}
