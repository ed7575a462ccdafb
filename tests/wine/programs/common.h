/* What the test programs share. Hex on the command line and on stdout: every byte crosses Wine's
   argv and console untouched. */

#ifndef WINE_TEST_COMMON_H
#define WINE_TEST_COMMON_H

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Decodes a hex string into a fresh NUL-terminated buffer; NULL if it is not hex. */
static inline char* FromHex(const char* hex)
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

static inline void PrintHex(const void* data, size_t size)
{
    const unsigned char* p = (const unsigned char*)data;
    for (size_t i = 0; i < size; i++)
        printf("%02x", p[i]);
}

/* "RESULT HEX" of a call that fills a MAX_PATH buffer; the text only where it fitted. */
static inline int PrintResult(DWORD result, const char* buffer)
{
    printf("%lu ", (unsigned long)result);
    if (result > 0 && result < MAX_PATH)
        PrintHex(buffer, strlen(buffer));
    printf("\n");
    return 0;
}

#define SESSION_MANAGER_KEY "SYSTEM\\CurrentControlSet\\Control\\Session Manager"

/* "absent", or "type T HEX" with the raw (UTF-16) data of PendingFileRenameOperations. */
static inline int PrintPending(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SESSION_MANAGER_KEY, 0, KEY_QUERY_VALUE, &key) !=
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

/* The folder's entries in the system's order, one a line: "ATTRIBUTES HEX(name)"; "none ERROR"
   when it cannot be listed. */
static inline int PrintFolder(const char* folder)
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

/* The questions every probe answers alike: hello, acp, platform, pending, list HEX(folder).
   Returns the exit code, or -1 when the command is none of them or malformed. */
static inline int SystemCommand(int argc, char** argv)
{
    const char* command = argc > 1 ? argv[1] : "";
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
        return PrintPending();
    if (strcmp(command, "list") == 0) {
        char* folder = argc > 2 ? FromHex(argv[2]) : NULL;
        int rc = folder ? PrintFolder(folder) : -1;
        free(folder);
        return rc;
    }
    return -1;
}

#endif
