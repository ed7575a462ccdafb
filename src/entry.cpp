/* Program entry: the command line's paths, or the main dialog when there are none. */

#include "vornel.h"
#include "resource.h"

#include <cstring>
#include <new>
#include <vector>

HINSTANCE g_hInstance;

/* The argument string follows the program name and the white space after it. The start-up
   code of a toolchain may cut the name by other rules, so the program does it itself. */
char* FindArgumentString(char* commandLine)
{
    char* p = commandLine;

    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"')
            p += CharacterLength(p);
        if (*p == '"')
            ++p;
    } else {
        while ((unsigned char)*p > ' ')
            ++p;
    }

    while (*p >= 0x01 && *p <= ' ')
        ++p;
    return p;
}

/* Cuts the paths out of the argument string in place and hands each one on as soon as it is
   cut. Only the blank separates; a quote opens a quoted path only where a path begins. */
BOOL SplitArgumentString(char* args, void (*handlePath)(const char* path))
{
    BOOL handedOn = FALSE;
    char* p = args;

    if (*p == '\0')
        return FALSE;

    for (;;) {
        if (*p != ' ') {
            char* path;
            char* end;

            if (*p == '"') {
                path = p + 1;
                for (end = path; *end != '\0' && *end != '"'; ++end)
                    ;
            } else {
                path = p;
                for (end = p + 1; *end != '\0' && *end != ' '; ++end)
                    ;
            }

            BOOL atEnd = (*end == '\0');
            *end = '\0';
            handlePath(path);
            handedOn = TRUE;
            if (atEnd)
                return TRUE;
            p = end;
        }

        if (p[1] == '\0')
            return handedOn;
        ++p;
    }
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    g_hInstance = hInstance;

    BOOL handedOn = FALSE;
    try {
        /* A private copy: the paths point into it until the last request is done. */
        const char* commandLine = GetCommandLineA();
        std::vector<char> copy(commandLine, commandLine + strlen(commandLine) + 1);
        handedOn = SplitArgumentString(FindArgumentString(copy.data()), ScheduleDeletion);
    } catch (const std::bad_alloc&) {
        return 0;
    }

    if (!handedOn)
        DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
    return 0;
}
