/* WININIT.INI: the 9x family's store of deletions for the next start, "NUL=" lines in the
   "[rename]" section. The file belongs to the system: it is rewritten without losing a line. */

#include "vornel.h"

#include <cstring>
#include <new>
#include <vector>

typedef std::vector<std::string> LineList;

BOOL GetWininitPath(char* path)
{
    static const char name[] = "\\WININIT.INI";

    DWORD length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof(name) > MAX_PATH)
        return FALSE;
    lstrcatA(path, name);
    return TRUE;
}

BOOL PathExists(const char* path)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path, &data);
    if (find == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(find);
    return TRUE;
}

/* Read in blocks: a call per byte costs a lock per byte. */
static BOOL ReadAllText(FILE* file, std::string& text)
{
    char block[16384];
    size_t length;
    while ((length = fread(block, 1, sizeof(block), file)) != 0)
        text.append(block, length);
    return !ferror(file);
}

/* LF ends a line and a CR right before it belongs to the line end; the last line needs none.
   Every other byte, 0x1A and NUL included, is text: nothing after them may be lost in a
   rewrite. */
static void SplitLines(const std::string& text, LineList& lines)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos)
            end = text.size();
        else if (end > start && text[end - 1] == '\r')
            --end;
        lines.push_back(text.substr(start, end - start));
        start = next;
    }
}

/* TRUE when the whole file was read. A read that fails part-way still yields the whole lines
   it delivered, never half of one: half an entry would name another file. */
static BOOL ReadAllLines(const char* path, LineList& lines)
{
    FILE* file = OpenTextFileForReading(path);
    if (file == NULL)
        return FALSE;

    BOOL complete = FALSE;
    try {
        std::string text;
        complete = ReadAllText(file, text);
        if (!complete)
            text.erase(text.rfind('\n') + 1);
        SplitLines(text, lines);
    } catch (const std::bad_alloc&) {
        complete = FALSE;
    }
    fclose(file);
    return complete;
}

static BOOL WriteText(FILE* file, const char* text, size_t length)
{
    return fwrite(text, 1, length, file) == length;
}

/* Each line reaches the system at once, so the file is never left holding half a buffer. */
static BOOL EndLine(FILE* file)
{
    return WriteText(file, "\r\n", 2) && fflush(file) == 0;
}

static BOOL WriteLine(FILE* file, const std::string& line)
{
    return WriteText(file, line.data(), line.size()) && EndLine(file);
}

static BOOL WriteDeletionEntry(FILE* file, const char* shortPath)
{
    return WriteText(file, "NUL=", 4) && WriteText(file, shortPath, strlen(shortPath)) &&
           EndLine(file);
}

/* An item without a short form gets no entry: a buffer the system did not fill names nothing.
   Counts the entries written, so that a request that wrote none leaves the file as it was. */
static BOOL WriteNewEntries(FILE* file, const char* ownShortPath, const PathList* list,
                            int* written)
{
    if (list != NULL) {
        for (PathList::const_iterator it = list->begin(); it != list->end(); ++it) {
            char shortPath[MAX_PATH];
            if (!FilledPath(GetShortPathNameA(it->c_str(), shortPath, MAX_PATH)))
                continue;
            if (!WriteDeletionEntry(file, shortPath))
                return FALSE;
            ++*written;
        }
    }
    if (ownShortPath == NULL)
        return TRUE;
    if (!WriteDeletionEntry(file, ownShortPath))
        return FALSE;
    ++*written;
    return TRUE;
}

static BOOL IsRenameHeader(const std::string& line)
{
    return lstrcmpiA(line.c_str(), "[rename]") == 0;
}

static BOOL IsSectionBoundary(const std::string& line)
{
    return !line.empty() && line[0] == '[';
}

static BOOL IsDeletionEntry(const std::string& line)
{
    return lstrcmpiA(line.substr(0, 4).c_str(), "NUL=") == 0;
}

/* The new entries go at the end of every rename section; a file without one gets its own. A
   boundary is not tested as a header, so a "[rename]" right after a section opens none. */
static BOOL WriteLinesWithEntries(FILE* file, const LineList& lines, const char* ownShortPath,
                                  const PathList* list, int* written)
{
    BOOL inside = FALSE;
    BOOL metHeader = FALSE;

    for (LineList::const_iterator it = lines.begin(); it != lines.end(); ++it) {
        if (inside && IsSectionBoundary(*it)) {
            if (!WriteNewEntries(file, ownShortPath, list, written))
                return FALSE;
            inside = FALSE;
        } else if (!inside && IsRenameHeader(*it)) {
            inside = metHeader = TRUE;
        }
        if (!WriteLine(file, *it))
            return FALSE;
    }

    if (inside)
        return WriteNewEntries(file, ownShortPath, list, written);
    if (!metHeader)
        return WriteLine(file, "[rename]") && WriteNewEntries(file, ownShortPath, list, written);
    return TRUE;
}

static BOOL WriteLinesBack(const char* path, const LineList& lines)
{
    FILE* file = OpenTextFileForWriting(path);
    if (file == NULL)
        return FALSE;

    BOOL written = TRUE;
    for (LineList::const_iterator it = lines.begin(); written && it != lines.end(); ++it)
        written = WriteLine(file, *it);
    return fclose(file) == 0 && written;
}

static void CreateWininit(const char* wininit, const char* ownShortPath, const PathList* list)
{
    FILE* file = OpenTextFileForWriting(wininit);
    if (file == NULL)
        return;

    int entries = 0;
    BOOL written =
        WriteLine(file, "[rename]") && WriteNewEntries(file, ownShortPath, list, &entries);
    /* It did not exist before; half an entry could name another file. */
    if (fclose(file) != 0 || !written || entries == 0)
        DeleteFileA(wininit);
}

/* WININIT.INI is truncated only once its lines are safe in a copy and have been read back. A
   write that fails part-way, or a request that wrote no entry, puts the former contents back; if
   even that fails, the copy stays. */
static void RewriteWininit(const char* wininit, const char* ownShortPath, const PathList* list)
{
    char tempFolder[MAX_PATH];
    if (!FilledPath(GetTempPathA(MAX_PATH, tempFolder)))
        return;

    char copy[MAX_PATH];
    if (GetTempFileNameA(tempFolder, "kdw", 0, copy) == 0)
        return;

    LineList lines;
    if (!CopyFileA(wininit, copy, FALSE)) {
        DeleteFileA(copy);
        return;
    }
    /* The copy is ours: a read-only WININIT.INI must not make it undeletable. */
    SetFileAttributesA(copy, FILE_ATTRIBUTE_NORMAL);
    if (!ReadAllLines(copy, lines)) {
        DeleteFileA(copy);
        return;
    }

    FILE* file = OpenTextFileForWriting(wininit);
    if (file == NULL) {
        DeleteFileA(copy);
        return;
    }

    int entries = 0;
    BOOL written = WriteLinesWithEntries(file, lines, ownShortPath, list, &entries);
    if (fclose(file) == 0 && written && entries > 0) {
        DeleteFileA(copy);
        return;
    }

    if (CopyFileA(copy, wininit, FALSE) || WriteLinesBack(wininit, lines))
        DeleteFileA(copy);
}

void ScheduleInWininit(const char* path, const PathList* list)
{
    char wininit[MAX_PATH];
    if (!GetWininitPath(wininit))
        return;

    /* The system reads the entries at its next start from its own directory: a relative path
       must become a full one first. */
    char fullPath[MAX_PATH];
    char ownShortPath[MAX_PATH];
    BOOL hasOwn = FilledPath(GetFullPathNameA(path, MAX_PATH, fullPath, NULL)) &&
                  FilledPath(GetShortPathNameA(fullPath, ownShortPath, MAX_PATH));
    if (!hasOwn && (list == NULL || list->empty()))
        return;

    /* Creating truncates: a single failed look-up must not pass for a missing file. */
    if (PathExists(wininit) || GetFileAttributesA(wininit) != INVALID_FILE_ATTRIBUTES)
        RewriteWininit(wininit, hasOwn ? ownShortPath : NULL, list);
    else
        CreateWininit(wininit, hasOwn ? ownShortPath : NULL, list);
}

void ReadWininitRenameSection()
{
    char wininit[MAX_PATH];
    if (!GetWininitPath(wininit) || !PathExists(wininit))
        return;

    LineList lines;
    ReadAllLines(wininit, lines);

    BOOL inside = FALSE;
    for (LineList::const_iterator it = lines.begin(); it != lines.end(); ++it) {
        if (inside && IsSectionBoundary(*it))
            inside = FALSE;
        else if (inside && IsDeletionEntry(*it))
            SendMessageA(g_hPendingList, LB_ADDSTRING, 0, (LPARAM)(it->c_str() + 4));
        else if (!inside && IsRenameHeader(*it))
            inside = TRUE;
    }
}
