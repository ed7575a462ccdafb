/* Folder walk: a folder's contents as full paths, each subfolder after its own contents. */

#include "vornel.h"

#include <cstring>

/* Double-byte aware: in code page 932 the trail byte of a character such as 0x95 0x5C is no
   backslash or quote. A lead byte at the very end stands alone. */
int CharacterLength(const char* p)
{
    return IsDBCSLeadByte((BYTE)*p) && p[1] != '\0' ? 2 : 1;
}

/* The calls that fill a path buffer give the length without the terminator when it fitted, the
   size needed when it did not, and 0 when they failed. */
BOOL FilledPath(DWORD length)
{
    return length != 0 && length < MAX_PATH;
}

BOOL EndsWithBackslash(const char* path)
{
    BOOL last = FALSE;
    for (const char* p = path; *p != '\0'; p += CharacterLength(p))
        last = (*p == '\\');
    return last;
}

/* The ANSI form of a name may hold a separator where the real name has a look-alike (U+FF3C,
   or U+00A5 in code page 932): resolved as a path, it would lead through another entry. */
static BOOL HoldsSeparator(const char* name)
{
    for (const char* p = name; *p != '\0'; p += CharacterLength(p)) {
        if (*p == '\\' || *p == '/')
            return TRUE;
    }
    return FALSE;
}

static std::string JoinPath(const char* folder, const char* name)
{
    std::string joined(folder);
    if (!EndsWithBackslash(folder))
        joined += '\\';
    joined += name;
    return joined;
}

static BOOL RestoreDirectory(const char* saved)
{
    /* One retry: left in the wrong folder, every later name would resolve elsewhere. */
    return SetCurrentDirectoryA(saved) || SetCurrentDirectoryA(saved);
}

static BOOL WalkFolder(const char* folder, const char* expected, PathList& list);

/* Collects the entries of the current folder, whose path is here. A subfolder whose walk could
   not come back ends the enumeration: no further name may resolve against the wrong folder. */
static void CollectEntries(const char* here, PathList& list)
{
    std::string pattern(here);
    pattern += "\\*.*";

    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;

    try {
        do {
            if (lstrcmpA(data.cFileName, ".") == 0 || lstrcmpA(data.cFileName, "..") == 0)
                continue;
            if (HoldsSeparator(data.cFileName))
                continue;

            std::string joined = JoinPath(here, data.cFileName);

            /* A link or junction is recorded as itself; what it leads to is not ours. */
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                if (!WalkFolder(data.cFileName, joined.c_str(), list))
                    break;
            }

            char full[MAX_PATH];
            if (!FilledPath(GetFullPathNameA(data.cFileName, MAX_PATH, full, NULL)) ||
                strcmp(full, joined.c_str()) != 0)
                continue;
            list.push_back(full);
        } while (FindNextFileA(find, &data));
    } catch (...) {
        FindClose(find);
        throw;
    }
    FindClose(find);
}

/* Returns FALSE when the caller's current directory could not be made current again. When
   expected is given, the folder must turn out to be exactly that path: the system normalises
   some names (trailing dots and blanks, ".. "), and such a name leads out of the tree. The
   comparisons are byte for byte: a linguistic one may ignore characters. */
static BOOL WalkFolder(const char* folder, const char* expected, PathList& list)
{
    char saved[MAX_PATH];
    if (!FilledPath(GetCurrentDirectoryA(MAX_PATH, saved)))
        return TRUE; /* without a way back the folder is not entered */

    if (!SetCurrentDirectoryA(folder))
        return RestoreDirectory(saved);

    char here[MAX_PATH];
    if (!FilledPath(GetCurrentDirectoryA(MAX_PATH, here)) ||
        (expected != NULL && strcmp(here, expected) != 0))
        return RestoreDirectory(saved);

    /* Running out of memory must not leave the process in this folder. */
    try {
        CollectEntries(here, list);
    } catch (...) {
        RestoreDirectory(saved);
        throw;
    }

    return RestoreDirectory(saved);
}

BOOL CollectFolderContents(const char* folder, PathList& list)
{
    return WalkFolder(folder, NULL, list);
}
