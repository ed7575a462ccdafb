/* Deletion requests: one path, its folder contents, and the NT family's store. */

#include "vornel.h"

#include <cstring>
#include <new>

/* A link or junction to a folder counts as none: it is recorded as itself, and what it leads to
   is never entered. */
BOOL IsFolder(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

/* Asked anew for every request and refresh: a failed query leaves the record zero, which
   counts as the 9x family. */
BOOL IsNtFamily()
{
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void ScheduleWithMoveFileEx(const char* path, const PathList* list)
{
    if (list != NULL) {
        for (PathList::const_iterator it = list->begin(); it != list->end(); ++it)
            MoveFileExA(it->c_str(), NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void ScheduleEntries(const char* path, const PathList* list)
{
    if (IsNtFamily())
        ScheduleWithMoveFileEx(path, list);
    else
        ScheduleInWininit(path, list);
}

void ScheduleDeletion(const char* path)
{
    try {
        if (!IsFolder(path)) {
            ScheduleEntries(path, NULL);
            return;
        }

        PathList list;
        /* A walk that could not find its way back leaves a relative path pointing elsewhere. */
        if (CollectFolderContents(path, list))
            ScheduleEntries(path, &list);
    } catch (const std::bad_alloc&) {
        /* The request is dropped; its list has been released on the way out. */
    }
}
