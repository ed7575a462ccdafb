/* Asks the system what the tests need to know, and prints it as hex so no byte is lost.
   probe hello                      "hello 32" or "hello 64": this build runs here
   probe acp                        the ANSI code page
   probe platform                   dwPlatformId as GetVersionExA reports it
   probe pending                    "absent", or "type T HEX" with the raw bytes of
                                    PendingFileRenameOperations
   probe clear                      removes PendingFileRenameOperations
   probe list HEX(folder)           the folder's entries in the system's order: "ATTRIBUTES HEX",
                                    the attributes in hex
   probe short HEX(path)            "RESULT HEX" from GetShortPathNameA (260)
   probe full HEX(cwd) HEX(path)    "RESULT HEX" from GetFullPathNameA, relative to cwd
   probe windir | temp              "RESULT HEX" from GetWindowsDirectoryA / GetTempPathA
   probe close HEX(title) MS        waits up to MS for a top-level window with that title and
                                    posts WM_CLOSE to it: "closed" or "notfound" */

#include <windows.h>

#include "common.h"

static const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

static int Pending(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        printf("nokey\n");
        return 1;
    }
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(key, L"PendingFileRenameOperations", NULL, &type, NULL, &size);
    if (rc == ERROR_FILE_NOT_FOUND) {
        RegCloseKey(key);
        printf("absent\n");
        return 0;
    }
    BYTE* data = (BYTE*)malloc(size + 1);
    if (!data || (rc = RegQueryValueExW(key, L"PendingFileRenameOperations", NULL, &type, data,
                                        &size)) != ERROR_SUCCESS) {
        RegCloseKey(key);
        printf("error %ld\n", (long)rc);
        return 1;
    }
    RegCloseKey(key);
    printf("type %lu ", (unsigned long)type);
    PrintHex(data, size);
    printf("\n");
    free(data);
    return 0;
}

static int Clear(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS) {
        printf("nokey\n");
        return 1;
    }
    LONG rc = RegDeleteValueA(key, "PendingFileRenameOperations");
    RegCloseKey(key);
    printf(rc == ERROR_SUCCESS ? "cleared\n" : "absent\n");
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

static int List(const char* folder)
{
    char pattern[MAX_PATH + 8];
    if (strlen(folder) > MAX_PATH)
        return 1;
    strcpy(pattern, folder);
    strcat(pattern, "\\*.*");
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) {
        printf("none %lu\n", (unsigned long)GetLastError());
        return 0;
    }
    do {
        printf("%lx ", (unsigned long)data.dwFileAttributes);
        PrintHex(data.cFileName, strlen(data.cFileName));
        printf("\n");
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return 0;
}

static int PrintResult(DWORD result, const char* buffer)
{
    printf("%lu ", (unsigned long)result);
    if (result > 0 && result < MAX_PATH)
        PrintHex(buffer, strlen(buffer));
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
    char buffer[MAX_PATH];
    const char* command = argc > 1 ? argv[1] : "";
    char* a = argc > 2 ? FromHex(argv[2]) : NULL;
    char* b = argc > 3 ? FromHex(argv[3]) : NULL;

    if (strcmp(command, "hello") == 0) {
        printf("hello %d\n", (int)(sizeof(void*) * 8));
        return 0;
    }
    if (strcmp(command, "acp") == 0) {
        printf("%u\n", GetACP());
        return 0;
    }
    if (strcmp(command, "platform") == 0) {
        OSVERSIONINFOA info;
        memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        GetVersionExA(&info);
        printf("%lu\n", (unsigned long)info.dwPlatformId);
        return 0;
    }
    if (strcmp(command, "pending") == 0)
        return Pending();
    if (strcmp(command, "clear") == 0)
        return Clear();
    if (strcmp(command, "list") == 0 && a)
        return List(a);
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
