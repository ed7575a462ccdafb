/* Asks the system what the hostile-tree tests need to know. Paths cross Wine's argv and console as
   hex of their ANSI bytes, so no byte is lost or converted on the way.
   treeprobe hello                   "hello 32" or "hello 64": this build runs here
   treeprobe acp                     the ANSI code page
   treeprobe platform                dwPlatformId as GetVersionExA reports it
   treeprobe pending                 "absent", or "type T HEX" with the raw (UTF-16) data of
                                     PendingFileRenameOperations
   treeprobe list HEX(folder)        the folder's entries in the system's order, one a line:
                                     "ATTRIBUTES HEX(name)"; "none ERROR" when it cannot be listed
   treeprobe enter HEX(folder)       SetCurrentDirectoryA, then GetCurrentDirectoryA into a buffer
                                     of MAX_PATH: "ok RESULT HEX(path)" or "failed ERROR"
   treeprobe setattr HEX(path) ATTR  SetFileAttributesA with ATTR (hex): "ok" or "failed ERROR"
   treeprobe short HEX(path)         "RESULT HEX" from GetShortPathNameA (260)
   treeprobe windir                  "RESULT HEX" from GetWindowsDirectoryA (260) */

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void PrintHex(const void* data, size_t size)
{
    const unsigned char* p = (const unsigned char*)data;
    for (size_t i = 0; i < size; i++)
        printf("%02x", p[i]);
}

/* A fresh NUL-terminated buffer; NULL if the text is not hex. */
static char* FromHex(const char* hex)
{
    size_t n = strlen(hex);
    if (n % 2 != 0)
        return NULL;
    char* out = (char*)malloc(n / 2 + 1);
    if (!out)
        return NULL;
    for (size_t i = 0; i < n / 2; i++) {
        unsigned int byte;
        if (sscanf(hex + 2 * i, "%2x", &byte) != 1) {
            free(out);
            return NULL;
        }
        out[i] = (char)byte;
    }
    out[n / 2] = '\0';
    return out;
}

static int Pending(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
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

static int List(const char* folder)
{
    /* Longer than MAX_PATH on purpose: the tests list folders the program cannot reach. */
    size_t length = strlen(folder);
    char* pattern = (char*)malloc(length + 5);
    if (!pattern)
        return 1;
    memcpy(pattern, folder, length);
    strcpy(pattern + length, "\\*.*");
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    free(pattern);
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

static int PrintResult(DWORD result, const char* buffer)
{
    printf("%lu ", (unsigned long)result);
    if (result > 0 && result < MAX_PATH)
        PrintHex(buffer, strlen(buffer));
    printf("\n");
    return 0;
}

int main(int argc, char** argv)
{
    char buffer[MAX_PATH];
    const char* command = argc > 1 ? argv[1] : "";
    char* a = argc > 2 ? FromHex(argv[2]) : NULL;

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
    if (strcmp(command, "list") == 0 && a)
        return List(a);
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
    if (strcmp(command, "windir") == 0)
        return PrintResult(GetWindowsDirectoryA(buffer, MAX_PATH), buffer);
    fprintf(stderr, "treeprobe: unknown or malformed command\n");
    return 2;
}
