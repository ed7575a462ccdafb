/* Asks the system what the Wine and hostile-tree tests need to know, and prints it as hex so no
   byte is lost.
   probe hello                      "hello 32" or "hello 64": this build runs here
   probe acp                        the ANSI code page
   probe platform                   dwPlatformId as GetVersionExA reports it
   probe pending                    "absent", or "type T HEX" with the raw (UTF-16) data of
                                    PendingFileRenameOperations
   probe clear                      removes PendingFileRenameOperations
   probe list HEX(folder)           the folder's entries in the system's order, one a line:
                                    "ATTRIBUTES HEX(name)"; "none ERROR" when it cannot be listed
   probe enter HEX(folder)          SetCurrentDirectoryA, then GetCurrentDirectoryA into a buffer
                                    of MAX_PATH: "ok RESULT HEX(path)" or "failed ERROR"
   probe setattr HEX(path) ATTR     SetFileAttributesA with ATTR (hex): "ok" or "failed ERROR"
   probe short HEX(path)            "RESULT HEX" from GetShortPathNameA (260)
   probe full HEX(cwd) HEX(path)    "RESULT HEX" from GetFullPathNameA, relative to cwd
   probe windir | temp              "RESULT HEX" from GetWindowsDirectoryA / GetTempPathA
   probe close HEX(title) MS        waits up to MS for a top-level window with that title and
                                    posts WM_CLOSE to it: "closed" or "notfound" */

#include "common.h"

static int Clear(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SESSION_MANAGER_KEY, 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS) {
        printf("nokey\n");
        return 1;
    }
    LONG rc = RegDeleteValueA(key, "PendingFileRenameOperations");
    RegCloseKey(key);
    printf(rc == ERROR_SUCCESS ? "cleared\n" : "absent\n");
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

static int Enter(const char* folder)
{
    char here[MAX_PATH];
    if (!SetCurrentDirectoryA(folder)) {
        printf("failed %lu\n", (unsigned long)GetLastError());
        return 0;
    }
    DWORD length = GetCurrentDirectoryA(sizeof here, here);
    printf("ok %lu ", (unsigned long)length);
    if (length > 0 && length < sizeof here)
        PrintHex(here, strlen(here));
    printf("\n");
    return 0;
}

static int Close(const char* title, DWORD timeout)
{
    DWORD waited = 0;
    for (;;) {
        HWND window = FindWindowA(NULL, title);
        if (window) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            printf("closed\n");
            return 0;
        }
        if (waited >= timeout)
            break;
        Sleep(100);
        waited += 100;
    }
    printf("notfound\n");
    return 1;
}

int main(int argc, char** argv)
{
    int rc = SystemCommand(argc, argv);
    if (rc >= 0)
        return rc;

    char buffer[MAX_PATH];
    const char* command = argc > 1 ? argv[1] : "";
    char* a = argc > 2 ? FromHex(argv[2]) : NULL;
    char* b = argc > 3 ? FromHex(argv[3]) : NULL;

    if (strcmp(command, "clear") == 0)
        return Clear();
    if (strcmp(command, "enter") == 0 && a)
        return Enter(a);
    if (strcmp(command, "setattr") == 0 && a && argc > 3) {
        if (SetFileAttributesA(a, (DWORD)strtoul(argv[3], NULL, 16)))
            printf("ok\n");
        else
            printf("failed %lu\n", (unsigned long)GetLastError());
        return 0;
    }
    if (strcmp(command, "short") == 0 && a)
        return PrintResult(GetShortPathNameA(a, buffer, MAX_PATH), buffer);
    if (strcmp(command, "full") == 0 && a && b) {
        if (!SetCurrentDirectoryA(a))
            return 1;
        return PrintResult(GetFullPathNameA(b, MAX_PATH, buffer, NULL), buffer);
    }
    if (strcmp(command, "windir") == 0)
        return PrintResult(GetWindowsDirectoryA(buffer, MAX_PATH), buffer);
    if (strcmp(command, "temp") == 0)
        return PrintResult(GetTempPathA(MAX_PATH, buffer), buffer);
    if (strcmp(command, "close") == 0 && a && argc > 3)
        return Close(a, (DWORD)strtoul(argv[3], NULL, 10));
    fprintf(stderr, "probe: unknown or malformed command\n");
    return 2;
}
