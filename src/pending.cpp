/* The dialog's list of pending deletions, rebuilt from the system's store on every refresh. */

#include "vornel.h"

#include <cstring>
#include <new>

static const char* SkipNtPrefix(const char* path)
{
    return strncmp(path, "\\??\\", 4) == 0 ? path + 4 : path;
}

/* The value holds pairs of strings, a source and the name it is to be given; an empty name
   means deletion. Renames that other software recorded are no deletions and are not shown. A
   string that the data does not close is never shown, and nothing past the data is read. */
void ListPendingDeletions(const char* data, DWORD size)
{
    DWORD position = 0;
    while (position < size && data[position] != '\0') {
        const char* source = data + position;
        const char* sourceEnd = (const char*)memchr(source, '\0', size - position);
        if (sourceEnd == NULL)
            return;

        /* At the end of the data the search is empty and finds nothing. */
        DWORD destination = (DWORD)(sourceEnd - data) + 1;
        const char* destinationEnd =
            (const char*)memchr(data + destination, '\0', size - destination);
        if (destinationEnd == NULL)
            return;

        if (destinationEnd == data + destination) {
            SendMessageA(g_hPendingList, LB_ADDSTRING, 0, (LPARAM)SkipNtPrefix(source));
        }
        position = (DWORD)(destinationEnd - data) + 1;
    }
}

void ReadPendingRenameOperations()
{
    static const char valueName[] = "PendingFileRenameOperations";

    HKEY key = NULL;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                  KEY_QUERY_VALUE, &key);

    DWORD type = 0;
    DWORD size = 0;
    RegQueryValueExA(key, valueName, NULL, &type, NULL, &size);

    char* data = NULL;
    DWORD delivered = 0;
    if (size != 0) {
        data = new (std::nothrow) char[size + 1];
        if (data != NULL) {
            delivered = size;
            /* A value that grew in between delivers nothing whole. */
            if (RegQueryValueExA(key, valueName, NULL, &type, (LPBYTE)data, &delivered) !=
                    ERROR_SUCCESS ||
                delivered > size)
                delivered = 0;
        }
    }
    RegCloseKey(key);

    if (data != NULL) {
        ListPendingDeletions(data, delivered);
        delete[] data;
    }
}

void RefreshPendingList()
{
    LRESULT count = SendMessageA(g_hPendingList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        SendMessageA(g_hPendingList, LB_DELETESTRING, 0, 0);

    if (IsNtFamily())
        ReadPendingRenameOperations();
    else
        ReadWininitRenameSection();
}
