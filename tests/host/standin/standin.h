/* Control over the host stand-in of the Win32 API: a simulated volume, registry value, list
   box, dialog and drop, a log of every call, and fault injection. Tests drive it through this
   header; the program sees only windows.h and shellapi.h. */

#ifndef VORNEL_STANDIN_H
#define VORNEL_STANDIN_H

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace standin
{

/* One call of a stand-in function: its name, its key string argument(s) and a few numbers
   whose meaning each function documents below. */
struct Call {
    std::string fn;
    std::string arg;
    std::string arg2;
    long long n1 = 0;
    long long n2 = 0;
    long long n3 = 0;
    long long n4 = 0;
    long long result = 0;
};

/* Back to a fresh machine: drive C: holding C:\WINDOWS and C:\TEMP, current directory C:\,
   NT family, code page 1252, no pending value, empty list box, empty log, no faults. */
void Reset();

/* ---- Simulated volume ----
   Paths given to these helpers are absolute ("C:\a\b"); missing parent folders are created.
   Names are found without regard to case. Each folder enumerates in insertion order unless
   SetOrder says otherwise; "." and ".." come first in every folder but a drive root. */
void AddFolder(const std::string& path, DWORD attributes = 0);
void AddFile(const std::string& path, const std::string& bytes = std::string(),
             DWORD attributes = 0);
/* An entry with exactly this name, which path parsing would change (trailing dots or
   blanks, ".. "), inside an existing folder. */
void AddFolderNamed(const std::string& folder, const std::string& name, DWORD attributes = 0);
void AddFileNamed(const std::string& folder, const std::string& name,
                  const std::string& bytes = std::string(), DWORD attributes = 0);
bool Exists(const std::string& path);
bool IsFolderAt(const std::string& path);
std::optional<std::string> FileBytes(const std::string& path);
DWORD AttributesOf(const std::string& path);
void SetAttributes(const std::string& path, DWORD attributes);
void Remove(const std::string& path);
/* Names of a folder's entries in enumeration order. */
std::vector<std::string> Entries(const std::string& folder);
void SetOrder(const std::string& folder, const std::vector<std::string>& names);
/* The 8.3 name GetShortPathNameA gives for the last component; long names get one of the
   form ABCDEF~1.EXT when they are created. */
void SetShortName(const std::string& path, const std::string& shortName);
/* SetCurrentDirectoryA on this folder fails (access denied). */
void SetNotEnterable(const std::string& folder);
/* FindFirstFileA in this folder fails. */
void SetNotListable(const std::string& folder);
/* FindNextFileA fails (not "no more files") once this many real entries (not "." or "..")
   of the folder have been delivered; 0 makes FindFirstFileA fail. */
void StopEnumerationAfter(const std::string& folder, int entries);

/* The process's current directory; the raw setter checks nothing (not even its length). */
std::string CurrentDirectory();
void SetCurrentDirectoryRaw(const std::string& path);

/* ANSI code page 932: IsDBCSLeadByte is true for 0x81-0x9F and 0xE0-0xFC, and path parsing
   treats the byte after a lead byte as part of the character. */
void SetCodePage932(bool on);
void SetWindowsDirectory(const std::string& path);
/* With a trailing backslash, as GetTempPathA gives it. */
void SetTempPath(const std::string& path);

/* ---- Platform ---- */
void SetPlatformId(DWORD platformId); /* VER_PLATFORM_WIN32_NT (default), _WINDOWS, ... */
void SetVersionFails(bool fails);     /* GetVersionExA returns FALSE and writes nothing */

/* GetCommandLineA's buffer. */
void SetCommandLine(const std::string& commandLine);
std::string CommandLineBuffer();

/* ---- Registry: HKLM\SYSTEM\CurrentControlSet\Control\Session Manager ---- */
/* Raw data of "PendingFileRenameOperations"; nullopt = the value does not exist. */
void SetPendingValue(const std::optional<std::string>& data);
std::optional<std::string> PendingValue();
/* The value's data is replaced by this right after the first query that asks for the size
   only (no data buffer): the value grows or shrinks between the program's two queries. */
void SetPendingValueAfterSizeQuery(const std::optional<std::string>& data);
void SetSessionManagerKeyMissing(bool missing);
/* Bytes of pending deletions as MoveFileExA records them: "\??\"+path, NUL, NUL, ..., NUL. */
std::string PendingDeletions(const std::vector<std::string>& fullPaths);

/* ---- Dialog, list box, drop ---- */
HWND Dialog();
HWND ListBox();
std::vector<std::string> ListBoxItems();
void SetListBoxItems(const std::vector<std::string>& items);
/* HICONs that LoadImageA hands out for 16 and 32 pixels. */
HICON Icon16();
HICON Icon32();
HICON DialogIcon(int type); /* as last set with WM_SETICON */
HDROP SetDrop(const std::vector<std::string>& paths);
bool DropFinished();
struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
/* Messages DialogBoxParamA sends after WM_INITDIALOG until EndDialog is called; by default
   one WM_COMMAND IDCANCEL. */
void SetDialogScript(const std::vector<Message>& messages);
bool DialogEnded();

/* ---- Fault injection ----
   Call counts are per function name and start at the arming: FailCall(fn, 1) fails the next
   call of fn. A failing call returns the function's failure value and changes nothing. */
void FailCall(const std::string& fn, int nth);
void FailCallsFrom(const std::string& fn, int nth);
void FailAlways(const std::string& fn);
/* "TextFileWrite" (each hand-over of a text stream's buffer to the volume) can be failed
   with FailCall like any function. Text-file writes (through OpenTextFileForWriting) succeed for
   this many more bytes in all; the write that reaches the limit stores what fits and fails (a full
   disk). */
void SetWriteBudget(std::size_t bytes);
/* Reading a text file of this path fails once this many bytes were read. */
void FailReadAfter(const std::string& path, std::size_t bytes);
/* A failing call fills the caller's string out-buffers (and the names of find data) with
   kPoison repeated, zero-terminated, instead of leaving them alone: whatever is built from a
   buffer the call did not fill then shows the pattern. */
constexpr char kPoison[] = "#UNFILLED#";
void SetPoisonOnFailure(bool on);

/* The Nth operator new (counted from the arming, outside the stand-in) throws std::bad_alloc
   (nothrow forms return null); with everyFromThen, every later one too. */
void FailAllocation(long nth, bool everyFromThen = false);
void DisarmAllocation();
bool AllocationFailed();

/* ---- Call log ---- */
const std::vector<Call>& Log();
void ClearLog();
std::vector<Call> CallsTo(const std::string& fn);
std::vector<std::string> ArgsOf(const std::string& fn);
std::size_t CountOf(const std::string& fn);
/* Names of the logged calls that are among fns, in call order. */
std::vector<std::string> Sequence(const std::vector<std::string>& fns);

/* Resources still held: find handles, registry keys, open text files. */
int OpenFindHandles();
int OpenKeys();
int OpenTextFiles();
/* Files whose name begins with "kdw" in the temp folder. */
std::vector<std::string> TempCopies();

} // namespace standin

#endif
