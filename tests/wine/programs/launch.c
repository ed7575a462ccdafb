/* Starts a program with an exact command line, as a shell or Explorer would hand one over.
   launch HEX(program) HEX(command line) HEX(current folder)|- TIMEOUT_MS
   Prints "exit N", or "timeout" (the process is then ended), or "failed ERROR". */

#include <windows.h>

#include "common.h"

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: launch HEXPROGRAM HEXCMDLINE HEXCWD|- TIMEOUT_MS\n");
        return 2;
    }
    char* program = FromHex(argv[1]);
    char* cmdline = FromHex(argv[2]);
    char* cwd = strcmp(argv[3], "-") == 0 ? NULL : FromHex(argv[3]);
    DWORD timeout = (DWORD)strtoul(argv[4], NULL, 10);
    if (!program || !cmdline || (strcmp(argv[3], "-") != 0 && !cwd)) {
        fprintf(stderr, "launch: bad hex argument\n");
        return 2;
    }

    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessA(program, cmdline, NULL, NULL, FALSE, 0, NULL, cwd, &si, &pi)) {
        printf("failed %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    CloseHandle(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, timeout) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, INFINITE);
        printf("timeout\n");
        return 1;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    printf("exit %lu\n", (unsigned long)code);
    CloseHandle(pi.hProcess);
    return 0;
}
