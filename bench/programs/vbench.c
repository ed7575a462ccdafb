/* Vornel's benchmark companion, run inside the Wine session of a benchmark.
     vbench run RESET [ENTRIES] -- COMMAND LINE
         puts the store into a known state (RESET: "nt" deletes PendingFileRenameOperations,
         "9x:SEED" copies SEED over WININIT.INI, "none"), starts COMMAND LINE, waits and prints
         "elapsed_us E prep_us P exit C entries K". P is the time a floor spent loading its input
         (subtracted by the driver); K counts the store's deletions afterwards (-1: not counted).
     vbench floor-nt LIST      MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) per line
     vbench floor-9x RESULT    copies WININIT.INI to a "kdw" temporary file, writes the lines of
                               RESULT to WININIT.INI with one flush per line, deletes the copy
     vbench dump-nt OUT        the pending deletions, less "\??\", one a line
     vbench short LIST         GetShortPathNameA per line; prints the microseconds it took
     vbench walk FOLDER        the folder walk's system calls alone (no list); prints the
                               microseconds and the number of entries
   The floors do only the system's part of a request, on input prepared beforehand. The same
   source built as vfloor.exe (VBENCH_FLOOR) is a GUI program that loads the DLLs the program
   loads, so that the floors' process start costs what the program's does. */

#include <windows.h>
#ifdef VBENCH_FLOOR
#include <shellapi.h>
#endif

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
static const char kPending[] = "PendingFileRenameOperations";

static LONGLONG Now(void)
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

static LONGLONG Micros(LONGLONG ticks)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return ticks * 1000000 / f.QuadPart;
}

static void Die(const char* what)
{
    fprintf(stderr, "vbench: %s (error %lu)\n", what, (unsigned long)GetLastError());
    exit(2);
}

static char* ReadWholeFile(const char* path, DWORD* size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        Die("cannot open input");
    DWORD length = GetFileSize(file, NULL);
    char* data = (char*)malloc(length + 1);
    DWORD got = 0;
    if (!data || !ReadFile(file, data, length, &got, NULL) || got != length)
        Die("cannot read input");
    CloseHandle(file);
    data[length] = '\0';
    *size = length;
    return data;
}

/* Splits the text in place at LF (a CR before it goes too); a last line without LF counts. */
static char** SplitLines(char* text, DWORD size, DWORD* count)
{
    DWORD lines = 0;
    for (DWORD i = 0; i < size; i++)
        if (text[i] == '\n')
            lines++;
    char** table = (char**)malloc((lines + 2) * sizeof(char*));
    if (!table)
        Die("out of memory");
    DWORD n = 0;
    char* start = text;
    for (DWORD i = 0; i < size; i++) {
        if (text[i] == '\n') {
            text[i] = '\0';
            if (&text[i] > start && text[i - 1] == '\r')
                text[i - 1] = '\0';
            table[n++] = start;
            start = &text[i + 1];
        }
    }
    if (start < text + size)
        table[n++] = start;
    *count = n;
    return table;
}

static void ReportPrep(LONGLONG start)
{
    const char* out = getenv("VBENCH_PREP_FILE");
    if (!out)
        return;
    FILE* f = fopen(out, "w");
    if (f) {
        fprintf(f, "%lld\n", Micros(Now() - start));
        fclose(f);
    }
}

static int FloorNt(const char* listPath)
{
    LONGLONG start = Now();
    DWORD size, count;
    char* text = ReadWholeFile(listPath, &size);
    char** paths = SplitLines(text, size, &count);
    ReportPrep(start);

    for (DWORD i = 0; i < count; i++)
        MoveFileExA(paths[i], NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    return 0;
}

/* The same lines the program leaves in WININIT.INI, through the same C runtime streams. */
static int Floor9x(const char* resultPath)
{
    LONGLONG start = Now();
    DWORD size, count;
    char* text = ReadWholeFile(resultPath, &size);
    char** lines = SplitLines(text, size, &count);
    size_t* lengths = (size_t*)malloc((count + 1) * sizeof(size_t));
    for (DWORD i = 0; i < count; i++)
        lengths[i] = strlen(lines[i]);
    ReportPrep(start);

    char wininit[MAX_PATH];
    GetWindowsDirectoryA(wininit, MAX_PATH);
    lstrcatA(wininit, "\\WININIT.INI");
    char tempFolder[MAX_PATH], copy[MAX_PATH];
    GetTempPathA(MAX_PATH, tempFolder);
    GetTempFileNameA(tempFolder, "kdw", 0, copy);
    CopyFileA(wininit, copy, FALSE);

    FILE* file = fopen(wininit, "wb");
    if (!file)
        Die("cannot open WININIT.INI");
    for (DWORD i = 0; i < count; i++) {
        fwrite(lines[i], 1, lengths[i], file);
        fwrite("\r\n", 1, 2, file);
        fflush(file);
    }
    fclose(file);
    DeleteFileA(copy);
    return 0;
}

/* The pending value's data, or NULL when there is none. */
static char* ReadPending(DWORD* size)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != 0)
        return NULL;
    DWORD type, length = 0;
    char* data = NULL;
    if (RegQueryValueExA(key, kPending, NULL, &type, NULL, &length) == 0 && length != 0) {
        data = (char*)calloc(length + 2, 1);
        if (data && RegQueryValueExA(key, kPending, NULL, &type, (BYTE*)data, &length) != 0) {
            free(data);
            data = NULL;
        }
    }
    RegCloseKey(key);
    *size = length;
    return data;
}

/* Calls back for each deletion's source, less "\??\"; returns the count. */
static long WalkPending(FILE* out)
{
    DWORD size;
    char* data = ReadPending(&size);
    if (!data)
        return 0;
    long count = 0;
    DWORD p = 0;
    while (p < size && data[p] != '\0') {
        const char* source = data + p;
        DWORD sourceLength = (DWORD)strlen(source);
        const char* destination = source + sourceLength + 1;
        if (p + sourceLength + 1 >= size)
            break;
        if (*destination == '\0') {
            count++;
            if (out)
                fprintf(out, "%s\r\n", strncmp(source, "\\??\\", 4) == 0 ? source + 4 : source);
        }
        p += sourceLength + 1 + (DWORD)strlen(destination) + 1;
    }
    free(data);
    return count;
}

static long CountWininitEntries(void)
{
    char wininit[MAX_PATH];
    GetWindowsDirectoryA(wininit, MAX_PATH);
    lstrcatA(wininit, "\\WININIT.INI");
    FILE* f = fopen(wininit, "rb");
    if (!f)
        return 0;
    long count = 0;
    char line[1024];
    while (fgets(line, sizeof line, f))
        if (_strnicmp(line, "NUL=", 4) == 0)
            count++;
    fclose(f);
    return count;
}

static int Short(const char* listPath)
{
    DWORD size, count;
    char* text = ReadWholeFile(listPath, &size);
    char** paths = SplitLines(text, size, &count);
    char shortPath[MAX_PATH];
    DWORD failed = 0;
    LONGLONG start = Now();
    for (DWORD i = 0; i < count; i++) {
        DWORD length = GetShortPathNameA(paths[i], shortPath, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            failed++;
    }
    printf("short_us %lld paths %lu failed %lu\n", Micros(Now() - start), (unsigned long)count,
           (unsigned long)failed);
    return 0;
}

/* The calls the program's walk makes, in its order, without keeping anything. */
static long WalkCalls(const char* folder)
{
    char saved[MAX_PATH], here[MAX_PATH], pattern[MAX_PATH + 4], full[MAX_PATH];
    long count = 0;
    GetCurrentDirectoryA(MAX_PATH, saved);
    if (SetCurrentDirectoryA(folder)) {
        GetCurrentDirectoryA(MAX_PATH, here);
        snprintf(pattern, sizeof pattern, "%s\\*.*", here);
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(pattern, &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (lstrcmpA(data.cFileName, ".") == 0 || lstrcmpA(data.cFileName, "..") == 0)
                    continue;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    count += WalkCalls(data.cFileName);
                GetFullPathNameA(data.cFileName, MAX_PATH, full, NULL);
                count++;
            } while (FindNextFileA(find, &data));
            FindClose(find);
        }
    }
    SetCurrentDirectoryA(saved);
    return count;
}

static void Reset(const char* how)
{
    if (strcmp(how, "nt") == 0) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != 0)
            Die("cannot open the Session Manager key");
        RegDeleteValueA(key, kPending);
        RegCloseKey(key);
    } else if (strncmp(how, "9x:", 3) == 0) {
        char wininit[MAX_PATH];
        GetWindowsDirectoryA(wininit, MAX_PATH);
        lstrcatA(wininit, "\\WININIT.INI");
        if (!CopyFileA(how + 3, wininit, FALSE))
            Die("cannot put the seed WININIT.INI in place");
    } else if (strcmp(how, "none") != 0) {
        Die("unknown reset");
    }
}

/* The child's command line is whatever follows " -- " in ours, untouched. */
static int Run(const char* how, const char* count)
{
    const char* cmdline = strstr(GetCommandLineA(), " -- ");
    if (!cmdline)
        Die("no command line after --");
    char* child = _strdup(cmdline + 4);

    char prepFile[MAX_PATH], tempFolder[MAX_PATH];
    GetTempPathA(MAX_PATH, tempFolder);
    snprintf(prepFile, sizeof prepFile, "%svbench-prep-%lu.txt", tempFolder,
             (unsigned long)GetCurrentProcessId());
    DeleteFileA(prepFile);
    SetEnvironmentVariableA("VBENCH_PREP_FILE", prepFile);

    Reset(how);

    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    LONGLONG start = Now();
    if (!CreateProcessA(NULL, child, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        Die("CreateProcessA");
    WaitForSingleObject(pi.hProcess, INFINITE);
    LONGLONG elapsed = Now() - start;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    long long prep = 0;
    FILE* f = fopen(prepFile, "r");
    if (f) {
        if (fscanf(f, "%lld", &prep) != 1)
            prep = 0;
        fclose(f);
        DeleteFileA(prepFile);
    }

    long entries = -1;
    if (strcmp(count, "nt") == 0)
        entries = WalkPending(NULL);
    else if (strcmp(count, "9x") == 0)
        entries = CountWininitEntries();
    printf("elapsed_us %lld prep_us %lld exit %lu entries %ld\n", Micros(elapsed), prep,
           (unsigned long)code, entries);
    return 0;
}

int main(int argc, char** argv)
{
#ifdef VBENCH_FLOOR
    /* Never true; keeps user32 and shell32 among the imports. */
    if (argc < 0) {
        DragFinish(NULL);
        EndDialog(NULL, 0);
    }
#endif
    if (argc >= 4 && strcmp(argv[1], "run") == 0) {
        const char* count = strcmp(argv[3], "--") == 0 ? "" : argv[3];
        return Run(argv[2], count);
    }
    if (argc == 3 && strcmp(argv[1], "floor-nt") == 0)
        return FloorNt(argv[2]);
    if (argc == 3 && strcmp(argv[1], "floor-9x") == 0)
        return Floor9x(argv[2]);
    if (argc == 3 && strcmp(argv[1], "dump-nt") == 0) {
        FILE* out = fopen(argv[2], "wb");
        if (!out)
            Die("cannot write the list");
        long n = WalkPending(out);
        fclose(out);
        printf("%ld\n", n);
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "short") == 0)
        return Short(argv[2]);
    if (argc == 3 && strcmp(argv[1], "walk") == 0) {
        LONGLONG start = Now();
        long n = WalkCalls(argv[2]);
        printf("walk_us %lld entries %ld\n", Micros(Now() - start), n);
        return 0;
    }
    fprintf(stderr, "usage: vbench run RESET [nt|9x] -- CMDLINE | floor-nt LIST | floor-9x RESULT "
                    "| dump-nt OUT | short LIST | walk FOLDER\n");
    return 2;
}
