/* Vornel: records files and folders for deletion at the next start of Windows. */

#ifndef VORNEL_H
#define VORNEL_H

#include <windows.h>

#include <cstdio>
#include <list>
#include <string>

/* Full paths of a folder's contents, deepest first; lives for one request. */
typedef std::list<std::string> PathList;

extern HINSTANCE g_hInstance;
extern HWND g_hPendingList;

/* entry.cpp */
char* FindArgumentString(char* commandLine);
BOOL SplitArgumentString(char* args, void (*handlePath)(const char* path));

/* schedule.cpp */
void ScheduleDeletion(const char* path);
void ScheduleEntries(const char* path, const PathList* list);
void ScheduleWithMoveFileEx(const char* path, const PathList* list);
BOOL IsFolder(const char* path);
BOOL IsNtFamily();

/* walk.cpp */
BOOL CollectFolderContents(const char* folder, PathList& list);
BOOL EndsWithBackslash(const char* path);
int CharacterLength(const char* p);
BOOL FilledPath(DWORD length);

/* wininit.cpp */
BOOL GetWininitPath(char* path);
BOOL PathExists(const char* path);
void ScheduleInWininit(const char* path, const PathList* list);
void ReadWininitRenameSection();

/* pending.cpp */
void RefreshPendingList();
void ReadPendingRenameOperations();
void ListPendingDeletions(const char* data, DWORD size);

/* ui.cpp */
INT_PTR CALLBACK MainDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

/* textfile.cpp: byte streams; the line rules are the program's own (wininit.cpp). */
FILE* OpenTextFileForReading(const char* path);
FILE* OpenTextFileForWriting(const char* path);

#endif
