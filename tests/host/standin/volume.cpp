/* The stand-in's machine state: volume, paths, registry value, windows, log and faults, and the
   test-facing controls of standin.h. */

#include "internal.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

namespace standin
{
namespace detail
{

namespace
{

struct Fault {
    long long first; /* absolute call numbers of fn that fail */
    long long last;
};

struct FindHandle {
    std::vector<WIN32_FIND_DATAA> entries;
    std::size_t next = 0;
    bool failsAtEnd = false; /* the enumeration is cut short, not finished */
};

struct State {
    std::map<char, std::unique_ptr<Node>> drives;
    std::string currentDirectory = "C:\\";
    bool codePage932 = false;
    std::string windowsDirectory = "C:\\WINDOWS";
    std::string tempPath = "C:\\TEMP\\";
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    bool versionFails = false;
    bool poisonOnFailure = false;
    std::vector<char> commandLine;
    unsigned tempCounter = 0;

    std::optional<std::string> pendingValue;
    std::optional<std::optional<std::string>> pendingAfterSizeQuery;
    bool sessionManagerMissing = false;
    std::set<uintptr_t> openKeys;
    uintptr_t nextKey = 0x4000;

    std::map<uintptr_t, FindHandle> finds;
    uintptr_t nextFind = 0x1000;

    std::vector<std::string> listBox;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    std::vector<std::string> drop;
    bool dropFinished = false;
    std::vector<Message> dialogScript{{WM_COMMAND, IDCANCEL, 0}};
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;

    std::vector<Call> log;
    std::map<std::string, long long> callCounts;
    std::map<std::string, std::vector<Fault>> faults;
    DWORD lastError = 0;

    TextState text;
};

State* g_state = nullptr;
int g_standinDepth = 0;

HWND__ g_dialog;
HWND__ g_listBox;
HICON__ g_icon16;
HICON__ g_icon32;
HICON__ g_iconOther;
HDROP__ g_drop;

State& S()
{
    if (g_state == nullptr) {
        StandinScope scope;
        g_state = new State;
    }
    return *g_state;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsLead(unsigned char c)
{
    return S().codePage932 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

/* Splits at separators; a trail byte is never one. */
std::vector<std::string> SplitPath(const std::string& s)
{
    std::vector<std::string> parts;
    std::string current;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = (unsigned char)s[i];
        if (IsLead(c) && i + 1 < s.size()) {
            current += s[i];
            current += s[++i];
        } else if (IsSeparator((char)c)) {
            parts.push_back(current);
            current.clear();
        } else {
            current += (char)c;
        }
    }
    parts.push_back(current);
    return parts;
}

bool EndsWithSeparator(const std::string& s)
{
    bool last = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        last = IsSeparator(s[i]);
        if (IsLead((unsigned char)s[i]) && i + 1 < s.size())
            ++i;
    }
    return last;
}

bool AllDots(const std::string& s)
{
    return !s.empty() && s.find_first_not_of('.') == std::string::npos;
}

Node* Root(char drive, bool create)
{
    char letter = (char)toupper((unsigned char)drive);
    auto it = S().drives.find(letter);
    if (it != S().drives.end())
        return it->second.get();
    if (!create)
        return nullptr;
    auto root = std::make_unique<Node>();
    root->name = std::string(1, letter) + ":";
    root->attributes = FILE_ATTRIBUTE_DIRECTORY;
    Node* raw = root.get();
    S().drives[letter] = std::move(root);
    return raw;
}

Node* Child(Node* folder, const std::string& name)
{
    std::string folded = Fold(name);
    for (auto& child : folder->children) {
        if (Fold(child->name) == folded)
            return child.get();
    }
    return nullptr;
}

bool IsValid83(const std::string& name)
{
    if (name.empty() || name[0] == '.')
        return false;
    std::size_t dot = name.find('.');
    if (dot != std::string::npos && name.find('.', dot + 1) != std::string::npos)
        return false;
    std::size_t base = dot == std::string::npos ? name.size() : dot;
    std::size_t ext = dot == std::string::npos ? 0 : name.size() - dot - 1;
    if (base > 8 || ext > 3 || (dot != std::string::npos && ext == 0))
        return false;
    for (unsigned char c : name) {
        if (c <= ' ' || strchr("\"*+,/:;<=>?[\\]|", c) != nullptr)
            return false;
    }
    return true;
}

/* Cuts at most max bytes without splitting a double-byte character. */
std::string CutBytes(const std::string& s, std::size_t max)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t width = IsLead((unsigned char)s[i]) && i + 1 < s.size() ? 2 : 1;
        if (out.size() + width > max)
            break;
        out += s.substr(i, width);
        i += width;
    }
    return out;
}

std::string GenerateShortName(Node* folder, const std::string& name)
{
    std::string cleaned;
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned char c = (unsigned char)name[i];
        if (IsLead(c) && i + 1 < name.size()) {
            cleaned += name.substr(i, 2);
            ++i;
        } else if (c == ' ') {
        } else if (strchr("+,;=[]", c) != nullptr) {
            cleaned += '_';
        } else {
            cleaned += (char)toupper(c);
        }
    }
    cleaned.erase(0, cleaned.find_first_not_of('.'));
    std::size_t dot = cleaned.rfind('.');
    std::string base = dot == std::string::npos ? cleaned : cleaned.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : cleaned.substr(dot + 1);
    base.erase(std::remove(base.begin(), base.end(), '.'), base.end());
    if (base.empty())
        base = "_";
    base = CutBytes(base, 6);
    ext = CutBytes(ext, 3);
    for (int n = 1;; ++n) {
        std::string candidate = base + "~" + std::to_string(n) + (ext.empty() ? "" : "." + ext);
        bool taken = false;
        for (auto& child : folder->children) {
            if (Fold(child->shortName) == Fold(candidate))
                taken = true;
        }
        if (!taken)
            return candidate;
    }
}

std::string NodePath(const Node* node)
{
    if (node->parent == nullptr)
        return node->name + "\\";
    std::string parent = NodePath(node->parent);
    if (parent.size() > 3 || parent.back() != '\\')
        parent += '\\';
    return parent + node->name;
}

/* An absolute path taken name by name, without the system's normalisation. */
Node* RawLookup(const std::string& path)
{
    if (path.size() < 3 || path[1] != ':' || !IsSeparator(path[2]))
        return nullptr;
    Node* node = Root(path[0], false);
    for (const std::string& part : SplitPath(path.substr(3))) {
        if (node == nullptr || part.empty())
            continue;
        node = node->IsFolder() ? Child(node, part) : nullptr;
    }
    return node;
}

Node* MustFind(const std::string& path)
{
    if (Node* raw = RawLookup(path))
        return raw;
    std::string full;
    Node* node = Normalize(path, full) ? Lookup(full) : nullptr;
    if (node == nullptr)
        throw std::runtime_error("stand-in: no such path: " + path);
    return node;
}

Node* MakeFolders(const std::string& full)
{
    std::vector<std::string> parts = SplitPath(full.substr(3));
    Node* node = Root(full[0], true);
    for (const std::string& part : parts) {
        if (part.empty())
            continue;
        Node* child = Child(node, part);
        if (child == nullptr)
            child = CreateChild(node, part, FILE_ATTRIBUTE_DIRECTORY);
        node = child;
    }
    return node;
}

bool WildcardMatch(const char* pattern, const char* name)
{
    if (*pattern == '\0')
        return *name == '\0';
    if (*pattern == '*') {
        for (const char* p = name;; ++p) {
            if (WildcardMatch(pattern + 1, p))
                return true;
            if (*p == '\0')
                return false;
        }
    }
    if (*name == '\0')
        return false;
    if (*pattern != '?' && toupper((unsigned char)*pattern) != toupper((unsigned char)*name))
        return false;
    return WildcardMatch(pattern + 1, name + 1);
}

bool Matches(const std::string& pattern, const std::string& name)
{
    if (pattern == "*" || pattern == "*.*")
        return true;
    return WildcardMatch(pattern.c_str(), name.c_str());
}

void FillFindData(WIN32_FIND_DATAA& data, const std::string& name, const Node* node)
{
    memset(&data, 0, sizeof(data));
    data.dwFileAttributes = node->attributes == 0 ? FILE_ATTRIBUTE_NORMAL : node->attributes;
    data.nFileSizeLow = (DWORD)node->data.size();
    snprintf(data.cFileName, sizeof(data.cFileName), "%s", name.c_str());
    if (node->shortName != node->name && name == node->name)
        snprintf(data.cAlternateFileName, sizeof(data.cAlternateFileName), "%s",
                 node->shortName.c_str());
}

/* The Windows return convention for a string into a caller's buffer: the length without the
   terminator, or the size needed with it when the buffer is too small (nothing written). */
DWORD CopyOut(const std::string& value, LPSTR buffer, DWORD size)
{
    if (buffer == nullptr || size < value.size() + 1)
        return (DWORD)value.size() + 1;
    memcpy(buffer, value.c_str(), value.size() + 1);
    return (DWORD)value.size();
}

void Poison(char* buffer, std::size_t size)
{
    if (!S().poisonOnFailure || buffer == nullptr || size == 0)
        return;
    for (std::size_t i = 0; i + 1 < size; ++i)
        buffer[i] = kPoison[i % (sizeof(kPoison) - 1)];
    buffer[size - 1] = '\0';
}

void PoisonFindData(LPWIN32_FIND_DATAA data)
{
    if (data == nullptr)
        return;
    Poison(data->cFileName, sizeof(data->cFileName));
    Poison(data->cAlternateFileName, sizeof(data->cAlternateFileName));
}

bool IsFoldedEqual(const std::string& a, const std::string& b)
{
    return Fold(a) == Fold(b);
}

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

void AppendPending(const std::string& source, const std::string& destination)
{
    std::string data = S().pendingValue.value_or(std::string());
    /* The sequence's closing NUL (after a pair's two terminators) moves behind the new pair. */
    if (data.size() >= 2 && data[data.size() - 1] == '\0' && data[data.size() - 2] == '\0')
        data.pop_back();
    data += source;
    data += '\0';
    data += destination;
    data += '\0';
    data += '\0';
    S().pendingValue = data;
}

} // namespace

StandinScope::StandinScope()
{
    ++g_standinDepth;
}

StandinScope::~StandinScope()
{
    --g_standinDepth;
}

bool InStandin()
{
    return g_standinDepth > 0;
}

Api::Api(const char* fn) : index_(0), failing_(false)
{
    State& s = S();
    long long n = ++s.callCounts[fn];
    auto it = s.faults.find(fn);
    if (it != s.faults.end()) {
        for (const Fault& fault : it->second) {
            if (n >= fault.first && n <= fault.last)
                failing_ = true;
        }
    }
    Call entry;
    entry.fn = fn;
    s.log.push_back(entry);
    index_ = s.log.size() - 1;
}

Call& Api::call()
{
    return S().log[index_];
}

std::string Fold(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = (unsigned char)s[i];
        if (IsLead(c) && i + 1 < s.size()) {
            out += s[i];
            out += s[++i];
        } else {
            out += (char)toupper(c);
        }
    }
    return out;
}

TextState& Text()
{
    return S().text;
}

void SetLastErrorCode(DWORD code)
{
    S().lastError = code;
}

/* Joins a path with the current directory and normalises it as the system does: separators
   collapse, "." and ".." go, a segment's single trailing dot goes, and the last segment loses
   its trailing dots and blanks (a name of dots only, such as "...", is kept as it is). */
bool Normalize(const std::string& path, std::string& full, bool* trailingSeparator)
{
    if (path.empty())
        return false;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
        return false; /* UNC and device paths are not simulated */

    std::string base;
    std::string rest;
    const std::string& cwd = S().currentDirectory;
    if (path.size() >= 2 && path[1] == ':' && isalpha((unsigned char)path[0])) {
        char drive = (char)toupper((unsigned char)path[0]);
        if (path.size() >= 3 && IsSeparator(path[2])) {
            base = std::string(1, drive) + ":\\";
            rest = path.substr(3);
        } else {
            base = (toupper((unsigned char)cwd[0]) == drive) ? cwd : std::string(1, drive) + ":\\";
            rest = path.substr(2);
        }
    } else if (IsSeparator(path[0])) {
        base = cwd.substr(0, 2) + "\\";
        rest = path.substr(1);
    } else {
        base = cwd;
        rest = path;
    }
    if (base.size() < 3 || base[1] != ':')
        return false;

    std::vector<std::string> segments;
    for (const std::string& part : SplitPath(base.substr(3))) {
        if (!part.empty())
            segments.push_back(part);
    }

    bool trailing = EndsWithSeparator(rest);
    std::vector<std::string> parts = SplitPath(rest);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string part = parts[i];
        bool last = (i + 1 == parts.size());
        if (last) {
            while (!part.empty() && part.back() == ' ')
                part.pop_back();
            if (!AllDots(part)) {
                while (!part.empty() && (part.back() == '.' || part.back() == ' '))
                    part.pop_back();
            }
        } else if (!AllDots(part) && part.size() >= 2 && part.back() == '.' &&
                   part[part.size() - 2] != '.') {
            part.pop_back();
        }
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!segments.empty())
                segments.pop_back();
            continue;
        }
        segments.push_back(part);
    }

    full = base.substr(0, 2) + "\\";
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0)
            full += '\\';
        full += segments[i];
    }
    if (trailingSeparator != nullptr)
        *trailingSeparator = trailing;
    return true;
}

Node* Lookup(const std::string& full)
{
    Node* node = Root(full[0], false);
    if (node == nullptr)
        return nullptr;
    for (const std::string& part : SplitPath(full.substr(3))) {
        if (part.empty())
            continue;
        if (!node->IsFolder())
            return nullptr;
        node = Child(node, part);
        if (node == nullptr)
            return nullptr;
    }
    return node;
}

Node* ParentFolderFor(const std::string& full, std::string& leaf)
{
    std::vector<std::string> parts = SplitPath(full.substr(3));
    if (parts.empty() || parts.back().empty())
        return nullptr;
    leaf = parts.back();
    std::string parentPath = full.substr(0, 3);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        if (i > 0)
            parentPath += '\\';
        parentPath += parts[i];
    }
    Node* parent = Lookup(parentPath);
    return parent != nullptr && parent->IsFolder() ? parent : nullptr;
}

Node* CreateChild(Node* folder, const std::string& name, DWORD attributes)
{
    auto node = std::make_unique<Node>();
    node->name = name;
    node->attributes = attributes;
    node->parent = folder;
    node->shortName = IsValid83(name) ? name : GenerateShortName(folder, name);
    Node* raw = node.get();
    folder->children.push_back(std::move(node));
    return raw;
}

void RemoveNode(Node* node)
{
    Node* parent = node->parent;
    auto& siblings = parent->children;
    siblings.erase(
        std::remove_if(siblings.begin(), siblings.end(),
                       [node](const std::unique_ptr<Node>& n) { return n.get() == node; }),
        siblings.end());
}

} // namespace detail

using namespace detail;

/* ---- Controls ---- */

void Reset()
{
    StandinScope scope;
    delete g_state;
    g_state = new State;
    ResetAllocation();
    AddFolder("C:\\WINDOWS");
    AddFolder("C:\\TEMP");
    SetCommandLine("VORNEL.EXE");
}

void AddFolder(const std::string& path, DWORD attributes)
{
    StandinScope scope;
    std::string full;
    if (!Normalize(path, full))
        throw std::runtime_error("stand-in: bad path " + path);
    Node* node = MakeFolders(full);
    node->attributes = FILE_ATTRIBUTE_DIRECTORY | attributes;
}

void AddFile(const std::string& path, const std::string& bytes, DWORD attributes)
{
    StandinScope scope;
    std::string full;
    if (!Normalize(path, full))
        throw std::runtime_error("stand-in: bad path " + path);
    std::string leaf;
    std::vector<std::string> parts = SplitPath(full.substr(3));
    std::string parentPath = full.substr(0, 3);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i)
        parentPath += (i > 0 ? "\\" : "") + parts[i];
    MakeFolders(parentPath);
    Node* parent = ParentFolderFor(full, leaf);
    if (parent == nullptr)
        throw std::runtime_error("stand-in: no folder for " + path);
    Node* node = Child(parent, leaf);
    if (node == nullptr)
        node = CreateChild(parent, leaf, attributes);
    node->attributes = attributes & ~(DWORD)FILE_ATTRIBUTE_DIRECTORY;
    node->data = bytes;
}

void AddFolderNamed(const std::string& folder, const std::string& name, DWORD attributes)
{
    StandinScope scope;
    Node* parent = MustFind(folder);
    CreateChild(parent, name, FILE_ATTRIBUTE_DIRECTORY | attributes);
}

void AddFileNamed(const std::string& folder, const std::string& name, const std::string& bytes,
                  DWORD attributes)
{
    StandinScope scope;
    Node* parent = MustFind(folder);
    Node* node = CreateChild(parent, name, attributes & ~(DWORD)FILE_ATTRIBUTE_DIRECTORY);
    node->data = bytes;
}

bool Exists(const std::string& path)
{
    StandinScope scope;
    std::string full;
    return Normalize(path, full) && Lookup(full) != nullptr;
}

bool IsFolderAt(const std::string& path)
{
    StandinScope scope;
    std::string full;
    Node* node = Normalize(path, full) ? Lookup(full) : nullptr;
    return node != nullptr && node->IsFolder();
}

std::optional<std::string> FileBytes(const std::string& path)
{
    StandinScope scope;
    std::string full;
    Node* node = Normalize(path, full) ? Lookup(full) : nullptr;
    if (node == nullptr || node->IsFolder())
        return std::nullopt;
    return node->data;
}

DWORD AttributesOf(const std::string& path)
{
    StandinScope scope;
    return MustFind(path)->attributes;
}

void SetAttributes(const std::string& path, DWORD attributes)
{
    StandinScope scope;
    Node* node = MustFind(path);
    node->attributes = (node->attributes & FILE_ATTRIBUTE_DIRECTORY) |
                       (attributes & ~(DWORD)FILE_ATTRIBUTE_DIRECTORY);
}

void Remove(const std::string& path)
{
    StandinScope scope;
    RemoveNode(MustFind(path));
}

std::vector<std::string> Entries(const std::string& folder)
{
    StandinScope scope;
    std::vector<std::string> names;
    for (auto& child : MustFind(folder)->children)
        names.push_back(child->name);
    return names;
}

void SetOrder(const std::string& folder, const std::vector<std::string>& names)
{
    StandinScope scope;
    Node* node = MustFind(folder);
    std::vector<std::unique_ptr<Node>> ordered;
    for (const std::string& name : names) {
        for (auto& child : node->children) {
            if (child && IsFoldedEqual(child->name, name))
                ordered.push_back(std::move(child));
        }
    }
    for (auto& child : node->children) {
        if (child)
            ordered.push_back(std::move(child));
    }
    node->children = std::move(ordered);
}

void SetShortName(const std::string& path, const std::string& shortName)
{
    StandinScope scope;
    MustFind(path)->shortName = shortName;
}

void SetNotEnterable(const std::string& folder)
{
    StandinScope scope;
    MustFind(folder)->notEnterable = true;
}

void SetNotListable(const std::string& folder)
{
    StandinScope scope;
    MustFind(folder)->notListable = true;
}

void StopEnumerationAfter(const std::string& folder, int entries)
{
    StandinScope scope;
    MustFind(folder)->enumerationLimit = entries;
}

std::string CurrentDirectory()
{
    return S().currentDirectory;
}

void SetCurrentDirectoryRaw(const std::string& path)
{
    StandinScope scope;
    S().currentDirectory = path;
}

void SetCodePage932(bool on)
{
    S().codePage932 = on;
}

void SetWindowsDirectory(const std::string& path)
{
    StandinScope scope;
    S().windowsDirectory = path;
}

void SetTempPath(const std::string& path)
{
    StandinScope scope;
    S().tempPath = path;
}

void SetPlatformId(DWORD platformId)
{
    S().platformId = platformId;
}

void SetVersionFails(bool fails)
{
    S().versionFails = fails;
}

void SetCommandLine(const std::string& commandLine)
{
    StandinScope scope;
    S().commandLine.assign(commandLine.begin(), commandLine.end());
    S().commandLine.push_back('\0');
}

std::string CommandLineBuffer()
{
    StandinScope scope;
    return std::string(S().commandLine.data(), S().commandLine.size() - 1);
}

void SetPendingValue(const std::optional<std::string>& data)
{
    StandinScope scope;
    S().pendingValue = data;
}

std::optional<std::string> PendingValue()
{
    StandinScope scope;
    return S().pendingValue;
}

void SetPendingValueAfterSizeQuery(const std::optional<std::string>& data)
{
    StandinScope scope;
    S().pendingAfterSizeQuery = data;
}

void SetSessionManagerKeyMissing(bool missing)
{
    S().sessionManagerMissing = missing;
}

std::string PendingDeletions(const std::vector<std::string>& fullPaths)
{
    std::string data;
    for (const std::string& path : fullPaths) {
        data += "\\??\\" + path;
        data += '\0';
        data += '\0';
    }
    data += '\0';
    return data;
}

HWND Dialog()
{
    return &g_dialog;
}

HWND ListBox()
{
    return &g_listBox;
}

std::vector<std::string> ListBoxItems()
{
    StandinScope scope;
    return S().listBox;
}

void SetListBoxItems(const std::vector<std::string>& items)
{
    StandinScope scope;
    S().listBox = items;
}

HICON Icon16()
{
    return &g_icon16;
}

HICON Icon32()
{
    return &g_icon32;
}

HICON DialogIcon(int type)
{
    return type == ICON_BIG ? S().bigIcon : S().smallIcon;
}

HDROP SetDrop(const std::vector<std::string>& paths)
{
    StandinScope scope;
    S().drop = paths;
    S().dropFinished = false;
    return &g_drop;
}

bool DropFinished()
{
    return S().dropFinished;
}

void SetDialogScript(const std::vector<Message>& messages)
{
    StandinScope scope;
    S().dialogScript = messages;
}

bool DialogEnded()
{
    return S().dialogEnded;
}

void FailCall(const std::string& fn, int nth)
{
    StandinScope scope;
    long long base = S().callCounts[fn];
    S().faults[fn].push_back({base + nth, base + nth});
}

void FailCallsFrom(const std::string& fn, int nth)
{
    StandinScope scope;
    long long base = S().callCounts[fn];
    S().faults[fn].push_back({base + nth, LLONG_MAX});
}

void FailAlways(const std::string& fn)
{
    FailCallsFrom(fn, 1);
}

void SetWriteBudget(std::size_t bytes)
{
    S().text.writeBudget = bytes;
}

void SetPoisonOnFailure(bool on)
{
    S().poisonOnFailure = on;
}

void FailReadAfter(const std::string& path, std::size_t bytes)
{
    StandinScope scope;
    std::string full;
    if (!Normalize(path, full))
        throw std::runtime_error("stand-in: bad path " + path);
    S().text.readFailures[Fold(full)] = bytes;
}

const std::vector<Call>& Log()
{
    return S().log;
}

void ClearLog()
{
    StandinScope scope;
    S().log.clear();
}

std::vector<Call> CallsTo(const std::string& fn)
{
    StandinScope scope;
    std::vector<Call> calls;
    for (const Call& call : S().log) {
        if (call.fn == fn)
            calls.push_back(call);
    }
    return calls;
}

std::vector<std::string> ArgsOf(const std::string& fn)
{
    StandinScope scope;
    std::vector<std::string> args;
    for (const Call& call : S().log) {
        if (call.fn == fn)
            args.push_back(call.arg);
    }
    return args;
}

std::size_t CountOf(const std::string& fn)
{
    std::size_t n = 0;
    for (const Call& call : S().log) {
        if (call.fn == fn)
            ++n;
    }
    return n;
}

std::vector<std::string> Sequence(const std::vector<std::string>& fns)
{
    StandinScope scope;
    std::vector<std::string> names;
    for (const Call& call : S().log) {
        if (std::find(fns.begin(), fns.end(), call.fn) != fns.end())
            names.push_back(call.fn);
    }
    return names;
}

int OpenFindHandles()
{
    return (int)S().finds.size();
}

int OpenKeys()
{
    return (int)S().openKeys.size();
}

int OpenTextFiles()
{
    return (int)S().text.openFiles.size();
}

std::vector<std::string> TempCopies()
{
    StandinScope scope;
    std::vector<std::string> names;
    std::string full;
    Node* folder = Normalize(S().tempPath, full) ? Lookup(full) : nullptr;
    if (folder == nullptr)
        return names;
    for (auto& child : folder->children) {
        if (Fold(child->name).compare(0, 3, "KDW") == 0)
            names.push_back(NodePath(child.get()));
    }
    return names;
}

} // namespace standin

/* ---- kernel32 ---- */

using namespace standin;
using namespace standin::detail;

LPSTR WINAPI GetCommandLineA(void)
{
    Api api("GetCommandLineA");
    api.call().arg = S().commandLine.data();
    return S().commandLine.data();
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName)
{
    Api api("GetFileAttributesA");
    api.call().arg = lpFileName ? lpFileName : "(null)";
    std::string full;
    bool trailing = false;
    Node* node = nullptr;
    if (!api.failing() && lpFileName != nullptr && Normalize(lpFileName, full, &trailing))
        node = Lookup(full);
    if (node != nullptr && trailing && !node->IsFolder())
        node = nullptr;
    DWORD result = INVALID_FILE_ATTRIBUTES;
    if (node != nullptr)
        result = node->attributes == 0 ? FILE_ATTRIBUTE_NORMAL : node->attributes;
    else
        SetLastErrorCode(ERROR_FILE_NOT_FOUND);
    api.call().result = (long long)result;
    return result;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes)
{
    Api api("SetFileAttributesA");
    api.call().arg = lpFileName ? lpFileName : "(null)";
    api.call().n1 = dwFileAttributes;
    std::string full;
    Node* node = nullptr;
    if (!api.failing() && lpFileName != nullptr && Normalize(lpFileName, full))
        node = Lookup(full);
    if (node == nullptr) {
        SetLastErrorCode(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    /* The directory bit is not the caller's to change; NORMAL alone clears the rest. */
    DWORD kept = node->attributes & FILE_ATTRIBUTE_DIRECTORY;
    node->attributes = kept | (dwFileAttributes & ~(DWORD)(FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY));
    api.call().result = TRUE;
    return TRUE;
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData)
{
    Api api("FindFirstFileA");
    std::string pattern = lpFileName ? lpFileName : "";
    api.call().arg = pattern;
    api.call().result = -1;
    if (api.failing()) {
        PoisonFindData(lpFindFileData);
        return INVALID_HANDLE_VALUE;
    }
    if (pattern.empty())
        return INVALID_HANDLE_VALUE;

    /* The folder part runs to the last separator; the rest is the name pattern. */
    std::size_t cut = std::string::npos;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (IsSeparator(pattern[i]))
            cut = i;
        else if (IsLead((unsigned char)pattern[i]) && i + 1 < pattern.size())
            ++i;
    }
    std::string folderPart;
    std::string namePattern;
    if (cut == std::string::npos) {
        if (pattern.size() >= 2 && pattern[1] == ':') {
            folderPart = pattern.substr(0, 2);
            namePattern = pattern.substr(2);
        } else {
            folderPart = ".";
            namePattern = pattern;
        }
    } else {
        folderPart = pattern.substr(0, cut + 1);
        namePattern = pattern.substr(cut + 1);
    }
    std::string full;
    Node* folder = Normalize(folderPart, full) ? Lookup(full) : nullptr;
    if (folder == nullptr || !folder->IsFolder() || namePattern.empty()) {
        SetLastErrorCode(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (folder->notListable) {
        SetLastErrorCode(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }

    FindHandle handle;
    bool wildcard = namePattern.find_first_of("*?") != std::string::npos;
    if (folder->parent != nullptr && wildcard) {
        WIN32_FIND_DATAA dot;
        FillFindData(dot, ".", folder);
        handle.entries.push_back(dot);
        FillFindData(dot, "..", folder->parent);
        handle.entries.push_back(dot);
    }
    int delivered = 0;
    for (auto& child : folder->children) {
        if (!Matches(namePattern, child->name) && !Matches(namePattern, child->shortName))
            continue;
        if (folder->enumerationLimit >= 0 && delivered >= folder->enumerationLimit) {
            handle.failsAtEnd = true;
            break;
        }
        WIN32_FIND_DATAA data;
        FillFindData(data, child->name, child.get());
        handle.entries.push_back(data);
        ++delivered;
    }
    if (handle.entries.empty()) {
        SetLastErrorCode(handle.failsAtEnd ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = handle.entries[0];
    handle.next = 1;
    uintptr_t id = S().nextFind++;
    S().finds[id] = handle;
    api.call().result = (long long)id;
    return (HANDLE)id;
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData)
{
    Api api("FindNextFileA");
    api.call().n1 = (long long)(uintptr_t)hFindFile;
    auto it = S().finds.find((uintptr_t)hFindFile);
    if (it == S().finds.end()) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        api.call().arg = "(invalid handle)";
        return FALSE;
    }
    if (api.failing()) {
        PoisonFindData(lpFindFileData);
        return FALSE;
    }
    FindHandle& handle = it->second;
    if (handle.next >= handle.entries.size()) {
        SetLastErrorCode(handle.failsAtEnd ? ERROR_ACCESS_DENIED : ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *lpFindFileData = handle.entries[handle.next++];
    api.call().arg = lpFindFileData->cFileName;
    api.call().result = TRUE;
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile)
{
    Api api("FindClose");
    api.call().n1 = (long long)(uintptr_t)hFindFile;
    auto it = S().finds.find((uintptr_t)hFindFile);
    if (it == S().finds.end()) {
        api.call().arg = "(invalid handle)";
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    S().finds.erase(it);
    api.call().result = TRUE;
    return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer)
{
    Api api("GetCurrentDirectoryA");
    api.call().n1 = nBufferLength;
    if (api.failing()) {
        Poison(lpBuffer, nBufferLength);
        return 0;
    }
    DWORD result = CopyOut(S().currentDirectory, lpBuffer, nBufferLength);
    api.call().arg = S().currentDirectory;
    api.call().result = result;
    return result;
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName)
{
    Api api("SetCurrentDirectoryA");
    api.call().arg = lpPathName ? lpPathName : "(null)";
    if (api.failing() || lpPathName == nullptr)
        return FALSE;
    std::string full;
    Node* node = Normalize(lpPathName, full) ? Lookup(full) : nullptr;
    if (node == nullptr || !node->IsFolder()) {
        SetLastErrorCode(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (node->notEnterable) {
        SetLastErrorCode(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    /* With the backslash the system adds and the terminator, the path must fit MAX_PATH. */
    std::size_t needed = full.size() + (full.size() == 3 ? 0 : 1) + 1;
    if (needed > MAX_PATH) {
        SetLastErrorCode(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    S().currentDirectory = full;
    api.call().arg2 = full;
    api.call().result = TRUE;
    return TRUE;
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR* lpFilePart)
{
    Api api("GetFullPathNameA");
    api.call().arg = lpFileName ? lpFileName : "(null)";
    api.call().n1 = nBufferLength;
    std::string full;
    bool trailing = false;
    if (api.failing())
        Poison(lpBuffer, nBufferLength);
    if (api.failing() || lpFileName == nullptr || !Normalize(lpFileName, full, &trailing)) {
        SetLastErrorCode(ERROR_INVALID_NAME);
        return 0;
    }
    if (trailing && full.size() > 3)
        full += '\\';
    DWORD result = CopyOut(full, lpBuffer, nBufferLength);
    if (result < nBufferLength && lpFilePart != nullptr) {
        std::size_t cut = full.rfind('\\');
        *lpFilePart = (cut + 1 < full.size()) ? lpBuffer + cut + 1 : nullptr;
    }
    api.call().arg2 = full;
    api.call().result = result;
    return result;
}

DWORD WINAPI GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer)
{
    Api api("GetShortPathNameA");
    api.call().arg = lpszLongPath ? lpszLongPath : "(null)";
    api.call().n1 = cchBuffer;
    std::string full;
    if (api.failing())
        Poison(lpszShortPath, cchBuffer);
    if (api.failing() || lpszLongPath == nullptr || !Normalize(lpszLongPath, full) ||
        Lookup(full) == nullptr) {
        SetLastErrorCode(ERROR_FILE_NOT_FOUND);
        return 0;
    }

    /* Each component of the path as given is replaced by its short name; the form (absolute,
       relative) stays. */
    std::string path = lpszLongPath;
    std::string prefix;
    std::string rest;
    Node* node = nullptr;
    std::string cwdFull;
    if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) {
        prefix = path.substr(0, 3);
        rest = path.substr(3);
        node = Root(path[0], false);
    } else {
        rest = path;
        Normalize(".", cwdFull);
        node = Lookup(cwdFull);
    }
    std::string shortPath = prefix;
    std::vector<std::string> parts = SplitPath(rest);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (i > 0)
            shortPath += '\\';
        if (part.empty() || part == ".") {
            shortPath += part;
            continue;
        }
        if (part == "..") {
            shortPath += part;
            if (node != nullptr && node->parent != nullptr)
                node = node->parent;
            continue;
        }
        Node* child = node != nullptr ? Child(node, part) : nullptr;
        shortPath += child != nullptr ? child->shortName : part;
        node = child;
    }
    DWORD result = CopyOut(shortPath, lpszShortPath, cchBuffer);
    api.call().arg2 = shortPath;
    api.call().result = result;
    return result;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    Api api("GetWindowsDirectoryA");
    api.call().n1 = uSize;
    if (api.failing()) {
        Poison(lpBuffer, uSize);
        return 0;
    }
    UINT result = CopyOut(S().windowsDirectory, lpBuffer, uSize);
    api.call().arg = S().windowsDirectory;
    api.call().result = result;
    return result;
}

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer)
{
    Api api("GetTempPathA");
    api.call().n1 = nBufferLength;
    if (api.failing()) {
        Poison(lpBuffer, nBufferLength);
        return 0;
    }
    DWORD result = CopyOut(S().tempPath, lpBuffer, nBufferLength);
    api.call().arg = S().tempPath;
    api.call().result = result;
    return result;
}

UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique,
                             LPSTR lpTempFileName)
{
    Api api("GetTempFileNameA");
    api.call().arg = lpPathName ? lpPathName : "(null)";
    api.call().arg2 = lpPrefixString ? lpPrefixString : "(null)";
    api.call().n1 = uUnique;
    if (api.failing())
        Poison(lpTempFileName, MAX_PATH);
    if (api.failing() || lpPathName == nullptr || lpPrefixString == nullptr)
        return 0;
    std::string full;
    Node* folder = Normalize(lpPathName, full) ? Lookup(full) : nullptr;
    if (folder == nullptr || !folder->IsFolder()) {
        SetLastErrorCode(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    std::string dir = lpPathName;
    if (!EndsWithSeparator(dir))
        dir += '\\';
    std::string prefix = std::string(lpPrefixString).substr(0, 3);
    for (unsigned tries = 0; tries < 0x10000; ++tries) {
        UINT unique = uUnique != 0 ? uUnique : ((++S().tempCounter) & 0xFFFF);
        if (unique == 0)
            continue;
        char number[16];
        snprintf(number, sizeof(number), "%04X", unique & 0xFFFFu);
        std::string name = prefix + number + ".tmp";
        if (dir.size() + name.size() + 1 > MAX_PATH)
            return 0;
        if (uUnique == 0) {
            if (Child(folder, name) != nullptr)
                continue;
            CreateChild(folder, name, FILE_ATTRIBUTE_ARCHIVE);
        }
        memcpy(lpTempFileName, (dir + name).c_str(), dir.size() + name.size() + 1);
        api.call().result = unique;
        api.call().arg2 = dir + name;
        return unique;
    }
    return 0;
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists)
{
    Api api("CopyFileA");
    api.call().arg = lpExistingFileName ? lpExistingFileName : "(null)";
    api.call().arg2 = lpNewFileName ? lpNewFileName : "(null)";
    api.call().n1 = bFailIfExists;
    if (api.failing() || lpExistingFileName == nullptr || lpNewFileName == nullptr)
        return FALSE;
    std::string sourceFull;
    std::string targetFull;
    Node* source = Normalize(lpExistingFileName, sourceFull) ? Lookup(sourceFull) : nullptr;
    if (source == nullptr || source->IsFolder() || !Normalize(lpNewFileName, targetFull)) {
        SetLastErrorCode(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string leaf;
    Node* folder = ParentFolderFor(targetFull, leaf);
    if (folder == nullptr) {
        SetLastErrorCode(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    Node* target = Child(folder, leaf);
    if (target == source)
        return FALSE;
    if (target != nullptr &&
        (bFailIfExists || target->IsFolder() || (target->attributes & FILE_ATTRIBUTE_READONLY))) {
        SetLastErrorCode(bFailIfExists ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string bytes = source->data;
    if (target == nullptr)
        target = CreateChild(folder, leaf, 0);
    target->data = bytes;
    target->attributes = source->attributes | FILE_ATTRIBUTE_ARCHIVE;
    api.call().result = TRUE;
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    Api api("DeleteFileA");
    api.call().arg = lpFileName ? lpFileName : "(null)";
    if (api.failing() || lpFileName == nullptr)
        return FALSE;
    std::string full;
    Node* node = Normalize(lpFileName, full) ? Lookup(full) : nullptr;
    if (node == nullptr || node->IsFolder()) {
        SetLastErrorCode(node == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if ((node->attributes & FILE_ATTRIBUTE_READONLY) || Text().openFiles.count(Fold(full)) != 0) {
        SetLastErrorCode(ERROR_ACCESS_DENIED); /* read-only, or still open */
        return FALSE;
    }
    RemoveNode(node);
    api.call().result = TRUE;
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags)
{
    Api api("MoveFileExA");
    api.call().arg = lpExistingFileName ? lpExistingFileName : "(null)";
    api.call().arg2 = lpNewFileName ? lpNewFileName : "(null)";
    api.call().n1 = dwFlags;
    api.call().n2 = lpNewFileName == nullptr;
    if (api.failing() || lpExistingFileName == nullptr)
        return FALSE;
    if (S().platformId != VER_PLATFORM_WIN32_NT) {
        SetLastErrorCode(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    if (!(dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT))
        return FALSE; /* only recording for the next start is simulated */
    std::string source;
    if (!Normalize(lpExistingFileName, source)) {
        SetLastErrorCode(ERROR_INVALID_NAME);
        return FALSE;
    }
    std::string destination;
    if (lpNewFileName != nullptr) {
        if (!Normalize(lpNewFileName, destination))
            return FALSE;
        destination = "\\??\\" + destination;
    }
    AppendPending("\\??\\" + source, destination);
    api.call().result = TRUE;
    return TRUE;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation)
{
    Api api("GetVersionExA");
    api.call().n1 = lpVersionInformation ? lpVersionInformation->dwOSVersionInfoSize : -1;
    if (lpVersionInformation != nullptr) {
        /* n2: every byte after the size field was zero on entry */
        const unsigned char* bytes = (const unsigned char*)lpVersionInformation;
        bool zero = true;
        for (std::size_t i = sizeof(DWORD); i < sizeof(OSVERSIONINFOA); ++i)
            zero = zero && bytes[i] == 0;
        api.call().n2 = zero;
    }
    if (api.failing() || S().versionFails || lpVersionInformation == nullptr)
        return FALSE;
    if (lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    bool nt = S().platformId == VER_PLATFORM_WIN32_NT;
    lpVersionInformation->dwMajorVersion = nt ? 5 : 4;
    lpVersionInformation->dwMinorVersion = nt ? 1 : 10;
    lpVersionInformation->dwBuildNumber = nt ? 2600 : 0x040A08AE;
    lpVersionInformation->dwPlatformId = S().platformId;
    snprintf(lpVersionInformation->szCSDVersion, sizeof(lpVersionInformation->szCSDVersion), "%s",
             nt ? "Service Pack 3" : " A ");
    api.call().result = TRUE;
    return TRUE;
}

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2)
{
    Api api("lstrcmpA");
    const char* a = lpString1 ? lpString1 : "";
    const char* b = lpString2 ? lpString2 : "";
    api.call().arg = a;
    api.call().arg2 = b;
    int c = strcmp(a, b);
    int result = c < 0 ? -1 : (c > 0 ? 1 : 0);
    api.call().result = result;
    return result;
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2)
{
    Api api("lstrcmpiA");
    const char* a = lpString1 ? lpString1 : "";
    const char* b = lpString2 ? lpString2 : "";
    api.call().arg = a;
    api.call().arg2 = b;
    std::string fa = Fold(a);
    std::string fb = Fold(b);
    int result = fa < fb ? -1 : (fa > fb ? 1 : 0);
    api.call().result = result;
    return result;
}

LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2)
{
    Api api("lstrcatA");
    api.call().arg = lpString1 ? lpString1 : "(null)";
    api.call().arg2 = lpString2 ? lpString2 : "(null)";
    if (lpString1 == nullptr || lpString2 == nullptr)
        return nullptr;
    strcat(lpString1, lpString2);
    return lpString1;
}

BOOL WINAPI IsDBCSLeadByte(BYTE TestChar)
{
    Api api("IsDBCSLeadByte");
    api.call().n1 = TestChar;
    BOOL result = IsLead(TestChar) ? TRUE : FALSE;
    api.call().result = result;
    return result;
}

/* ---- advapi32 ---- */

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult)
{
    Api api("RegOpenKeyExA");
    api.call().arg = lpSubKey ? lpSubKey : "(null)";
    api.call().arg2 = hKey == HKEY_LOCAL_MACHINE ? "HKLM" : "other";
    api.call().n1 = ulOptions;
    api.call().n2 = samDesired;
    api.call().n3 = phkResult != nullptr && *phkResult == nullptr; /* preset to null */
    LONG result = ERROR_FILE_NOT_FOUND;
    if (api.failing()) {
        result = ERROR_ACCESS_DENIED;
    } else if (hKey == HKEY_LOCAL_MACHINE && lpSubKey != nullptr &&
               IsFoldedEqual(lpSubKey, kSessionManager) && !S().sessionManagerMissing &&
               phkResult != nullptr) {
        uintptr_t id = S().nextKey++;
        S().openKeys.insert(id);
        *phkResult = (HKEY)id;
        result = ERROR_SUCCESS;
    }
    api.call().result = result;
    return result;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData)
{
    Api api("RegQueryValueExA");
    api.call().arg = lpValueName ? lpValueName : "(null)";
    api.call().n1 = lpData != nullptr;
    api.call().n2 = lpcbData != nullptr ? (long long)*lpcbData : -1;
    api.call().n3 = S().openKeys.count((uintptr_t)hKey) != 0;
    LONG result;
    if (api.failing()) {
        if (lpData != nullptr && lpcbData != nullptr)
            Poison((char*)lpData, *lpcbData);
        result = ERROR_ACCESS_DENIED;
    } else if (S().openKeys.count((uintptr_t)hKey) == 0) {
        result = ERROR_INVALID_HANDLE;
    } else if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
        result = ERROR_INVALID_PARAMETER;
    } else if (lpValueName == nullptr || !IsFoldedEqual(lpValueName, kPendingValue) ||
               !S().pendingValue) {
        result = ERROR_FILE_NOT_FOUND;
    } else {
        const std::string data = *S().pendingValue;
        if (lpType != nullptr)
            *lpType = REG_MULTI_SZ;
        result = ERROR_SUCCESS;
        if (lpData == nullptr) {
            if (lpcbData != nullptr)
                *lpcbData = (DWORD)data.size();
            if (S().pendingAfterSizeQuery) {
                S().pendingValue = *S().pendingAfterSizeQuery;
                S().pendingAfterSizeQuery.reset();
            }
        } else if (*lpcbData < data.size()) {
            *lpcbData = (DWORD)data.size();
            result = ERROR_MORE_DATA;
        } else {
            memcpy(lpData, data.data(), data.size());
            /* What lies beyond the delivered bytes is undefined; make reading it visible. */
            memset(lpData + data.size(), 'Z', *lpcbData - data.size());
            *lpcbData = (DWORD)data.size();
        }
    }
    api.call().result = result;
    return result;
}

LONG WINAPI RegCloseKey(HKEY hKey)
{
    Api api("RegCloseKey");
    api.call().n1 = (long long)(uintptr_t)hKey;
    api.call().n3 = S().openKeys.count((uintptr_t)hKey) != 0;
    LONG result = ERROR_INVALID_HANDLE;
    if (S().openKeys.erase((uintptr_t)hKey) != 0)
        result = ERROR_SUCCESS;
    api.call().result = result;
    return result;
}

/* ---- user32 ---- */

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    std::vector<Message> script;
    {
        Api api("DialogBoxParamA");
        uintptr_t id = (uintptr_t)lpTemplateName;
        api.call().arg = id < 0x10000 ? "#" + std::to_string(id) : std::string(lpTemplateName);
        api.call().n1 = (long long)(uintptr_t)hInstance;
        api.call().n2 = (long long)(uintptr_t)hWndParent;
        api.call().n3 = dwInitParam;
        api.call().n4 = (long long)(uintptr_t)lpDialogFunc;
        if (api.failing() || lpDialogFunc == nullptr)
            return -1;
        S().dialogEnded = false;
        S().dialogResult = 0;
        script = S().dialogScript;
    }
    /* The dialog procedure runs as the program, outside the stand-in. */
    lpDialogFunc(Dialog(), WM_INITDIALOG, 0, dwInitParam);
    for (const Message& message : script) {
        if (S().dialogEnded)
            break;
        lpDialogFunc(Dialog(), message.message, message.wParam, message.lParam);
    }
    return S().dialogEnded ? S().dialogResult : -1;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult)
{
    Api api("EndDialog");
    api.call().n1 = hDlg == Dialog();
    api.call().n2 = nResult;
    if (hDlg != Dialog())
        return FALSE;
    S().dialogEnded = true;
    S().dialogResult = nResult;
    api.call().result = TRUE;
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    Api api("GetDlgItem");
    api.call().n1 = nIDDlgItem;
    api.call().n2 = hDlg == Dialog();
    HWND result = (hDlg == Dialog() && nIDDlgItem == 1000 && !api.failing()) ? ListBox() : nullptr;
    api.call().result = (long long)(uintptr_t)result;
    return result;
}

HANDLE WINAPI LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int cx, int cy, UINT fuLoad)
{
    Api api("LoadImageA");
    uintptr_t id = (uintptr_t)name;
    api.call().arg = id < 0x10000 ? "#" + std::to_string(id) : std::string(name);
    api.call().arg2 = std::to_string(fuLoad);
    api.call().n1 = (long long)(uintptr_t)hInst;
    api.call().n2 = type;
    api.call().n3 = cx;
    api.call().n4 = cy;
    if (api.failing())
        return nullptr;
    HICON icon = cx == 16 ? &g_icon16 : (cx == 32 ? &g_icon32 : &g_iconOther);
    api.call().result = (long long)(uintptr_t)icon;
    return icon;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Api api("SendMessageA");
    api.call().n1 = (long long)wParam;
    api.call().n2 = (long long)lParam;
    api.call().n3 = hWnd == ListBox() ? 1 : (hWnd == Dialog() ? 2 : 0);
    LRESULT result = 0;
    std::vector<std::string>& items = S().listBox;
    switch (Msg) {
    case LB_GETCOUNT:
        api.call().arg = "LB_GETCOUNT";
        break;
    case LB_DELETESTRING:
        api.call().arg = "LB_DELETESTRING";
        break;
    case LB_ADDSTRING:
        api.call().arg = "LB_ADDSTRING";
        api.call().arg2 = lParam != 0 ? (const char*)lParam : "(null)";
        break;
    case LB_GETTEXT:
        api.call().arg = "LB_GETTEXT";
        break;
    case WM_SETICON:
        api.call().arg = "WM_SETICON";
        break;
    default:
        api.call().arg = "message " + std::to_string(Msg);
        break;
    }
    if (hWnd == ListBox()) {
        result = LB_ERR;
        if (api.failing()) {
        } else if (Msg == LB_GETCOUNT) {
            result = (LRESULT)items.size();
        } else if (Msg == LB_DELETESTRING) {
            if (wParam < items.size()) {
                items.erase(items.begin() + (std::ptrdiff_t)wParam);
                result = (LRESULT)items.size();
            }
        } else if (Msg == LB_ADDSTRING && lParam != 0) {
            items.push_back((const char*)lParam);
            result = (LRESULT)items.size() - 1;
        } else if (Msg == LB_GETTEXT && wParam < items.size()) {
            strcpy((char*)lParam, items[wParam].c_str());
            result = (LRESULT)items[wParam].size();
        } else if (Msg == LB_GETTEXTLEN && wParam < items.size()) {
            result = (LRESULT)items[wParam].size();
        }
    } else if (hWnd == Dialog() && Msg == WM_SETICON && !api.failing()) {
        HICON& slot = wParam == ICON_BIG ? S().bigIcon : S().smallIcon;
        result = (LRESULT)(uintptr_t)slot;
        slot = (HICON)lParam;
    }
    api.call().result = result;
    return result;
}

/* ---- shell32 ---- */

UINT WINAPI DragQueryFileA(HDROP hDrop, UINT iFile, LPSTR lpszFile, UINT cch)
{
    Api api("DragQueryFileA");
    api.call().n1 = iFile;
    api.call().n2 = cch;
    api.call().n3 = lpszFile != nullptr;
    if (api.failing() && iFile != 0xFFFFFFFF)
        Poison(lpszFile, cch);
    if (api.failing() || hDrop != &g_drop)
        return 0;
    const std::vector<std::string>& drop = S().drop;
    UINT result = 0;
    if (iFile == 0xFFFFFFFF) {
        result = (UINT)drop.size();
    } else if (iFile < drop.size()) {
        const std::string& path = drop[iFile];
        api.call().arg = path;
        if (lpszFile == nullptr) {
            result = (UINT)path.size();
        } else if (cch > 0) {
            std::size_t n = std::min<std::size_t>(path.size(), cch - 1);
            memcpy(lpszFile, path.data(), n);
            lpszFile[n] = '\0';
            result = (UINT)n;
        }
    }
    api.call().result = result;
    return result;
}

void WINAPI DragFinish(HDROP hDrop)
{
    Api api("DragFinish");
    api.call().n1 = hDrop == &g_drop;
    if (hDrop == &g_drop)
        S().dropFinished = true;
}
