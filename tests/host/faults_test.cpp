/* The fault matrix: a reference request (a nested folder, on each family, by absolute and by
   relative path) runs once to record its calls; then it runs again from a fresh machine for
   every call of that log with just that call failing, for every allocation failing in turn, and
   with the disk full at every byte of a WININIT.INI rewrite. Failed calls poison their
   out-buffers, so an entry built from a buffer the system did not fill shows the pattern. */

#include "fixture.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

using namespace standin;

namespace
{

const char kWininit[] = "C:\\WINDOWS\\WININIT.INI";
/* Other sections around the rename section, and an entry of someone else's. */
const std::string kFormer =
    "[boot]\r\nshell=Explorer.exe\r\n[rename]\r\nNUL=C:\\OLD.TXT\r\n[386Enh]\r\nk=v\r\n";

/* The request's folder and everything in it. */
const char* const kTree[] = {
    "C:\\DATA\\TREE",
    "C:\\DATA\\TREE\\a.txt",
    "C:\\DATA\\TREE\\Long Document Name.txt",
    "C:\\DATA\\TREE\\SUB",
    "C:\\DATA\\TREE\\SUB\\b.txt",
    "C:\\DATA\\TREE\\SUB\\DEEP",
    "C:\\DATA\\TREE\\SUB\\DEEP\\c.txt",
    "C:\\DATA\\TREE\\EMPTY",
};

/* Calls whose stand-in has no failure to give: failing them changes nothing. */
const std::set<std::string> kCannotFail = {"GetCommandLineA", "lstrcmpA",       "lstrcmpiA",
                                           "lstrcatA",        "IsDBCSLeadByte", "TextFileClose",
                                           "EndDialog",       "DragFinish"};

struct Reference {
    const char* name;
    DWORD platform;
    const char* currentDirectory;
    const char* path;
};

void PrintTo(const Reference& r, std::ostream* out)
{
    *out << r.name;
}

const Reference kReferences[] = {
    {"NtAbsolute", VER_PLATFORM_WIN32_NT, "C:\\", "C:\\DATA\\TREE"},
    {"NtRelative", VER_PLATFORM_WIN32_NT, "C:\\DATA", "TREE"},
    {"NineAbsolute", VER_PLATFORM_WIN32_WINDOWS, "C:\\", "C:\\DATA\\TREE"},
    {"NineRelative", VER_PLATFORM_WIN32_WINDOWS, "C:\\DATA", "TREE"},
};

/* The line rules: LF ends a line, with the CR right before it; a last line needs no LF. */
std::vector<std::string> Lines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : bytes) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

/* The sources of the pending value's pairs, and whether every destination is empty. */
std::vector<std::string> PendingSources(bool& onlyDeletions)
{
    std::vector<std::string> sources;
    onlyDeletions = true;
    std::optional<std::string> value = PendingValue();
    if (!value)
        return sources;
    std::vector<std::string> strings;
    std::size_t start = 0;
    for (std::size_t nul; (nul = value->find('\0', start)) != std::string::npos; start = nul + 1)
        strings.push_back(value->substr(start, nul - start));
    for (std::size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2) {
        sources.push_back(strings[i]);
        onlyDeletions = onlyDeletions && strings[i + 1].empty();
    }
    return sources;
}

/* Whether a's items all occur in b, in order. */
bool IsSubsequence(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    std::size_t next = 0;
    for (const std::string& item : b) {
        if (next < a.size() && item == a[next])
            ++next;
    }
    return next == a.size();
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += "[" + item + "] ";
    return text;
}

} // namespace

class FaultTest : public HostTest
{
  protected:
    /* A fresh machine holding the tree, a file and a folder next to it (which must never be
       recorded), and on the 9x family the former WININIT.INI. */
    static void Prepare(DWORD platform, const char* currentDirectory, bool withWininit = true)
    {
        Reset();
        SetPlatformId(platform);
        AddFile("C:\\DATA\\TREE\\a.txt", "a");
        AddFile("C:\\DATA\\TREE\\Long Document Name.txt", "l");
        AddFile("C:\\DATA\\TREE\\SUB\\b.txt", "b");
        AddFile("C:\\DATA\\TREE\\SUB\\DEEP\\c.txt", "c");
        AddFolder("C:\\DATA\\TREE\\EMPTY");
        AddFile("C:\\DATA\\outside.txt", "o");
        AddFolder("C:\\DATA\\TREE2");
        AddFile("C:\\DATA\\F.TXT", "f");
        if (platform != VER_PLATFORM_WIN32_NT && withWininit)
            AddFile(kWininit, kFormer);
        SetCurrentDirectoryRaw(currentDirectory);
        SetPoisonOnFailure(true);
    }

    /* What each family may hold for an item of the tree: its full path behind "\??\", or
       "NUL=" and its short path. Asked of a fault-free machine. */
    void SetUp() override
    {
        HostTest::SetUp();
        Prepare(VER_PLATFORM_WIN32_WINDOWS, "C:\\");
        for (const char* item : kTree) {
            allowedPending_.insert(std::string("\\??\\") + item);
            char shortPath[MAX_PATH];
            DWORD length = GetShortPathNameA(item, shortPath, MAX_PATH);
            ASSERT_TRUE(length > 0 && length < MAX_PATH) << item;
            allowedEntries_.insert(std::string("NUL=") + shortPath);
        }
        Reset();
    }

    /* The checks of every run, whatever failed in it. */
    void CheckRun(DWORD platform, const char* currentDirectory)
    {
        EXPECT_EQ(CurrentDirectory(), currentDirectory) << "current directory not restored";
        EXPECT_EQ(OpenFindHandles(), 0) << "find handles left open";
        EXPECT_EQ(OpenKeys(), 0) << "registry keys left open";
        EXPECT_EQ(OpenTextFiles(), 0) << "text files left open";
        for (const Call& call : Log()) {
            EXPECT_EQ(call.arg.find(kPoison), std::string::npos)
                << call.fn << " was given an unfilled buffer: " << call.arg;
            EXPECT_EQ(call.arg2.find(kPoison), std::string::npos)
                << call.fn << " was given an unfilled buffer: " << call.arg2;
        }

        bool onlyDeletions = true;
        std::vector<std::string> sources = PendingSources(onlyDeletions);
        EXPECT_TRUE(onlyDeletions) << "a rename was recorded";
        for (const std::string& source : sources)
            EXPECT_EQ(allowedPending_.count(source), 1u)
                << "recorded outside the request: " << source;

        if (platform == VER_PLATFORM_WIN32_NT) {
            /* A failed version query counts as the 9x family by the program's rules; what it
               then writes must still name only the tree. */
            std::optional<std::string> bytes = FileBytes(kWininit);
            if (bytes) {
                EXPECT_GE(CountOf("GetVersionExA"), 1u);
                std::vector<std::string> lines = Lines(*bytes);
                ASSERT_FALSE(lines.empty());
                EXPECT_EQ(lines[0], "[rename]");
                for (std::size_t i = 1; i < lines.size(); ++i)
                    EXPECT_EQ(allowedEntries_.count(lines[i]), 1u)
                        << "a line nobody asked for: " << lines[i];
            }
            return;
        }
        EXPECT_TRUE(sources.empty()) << "MoveFileExA recorded on the 9x family";
        std::optional<std::string> bytes = FileBytes(kWininit);
        ASSERT_TRUE(bytes.has_value()) << "WININIT.INI is gone";
        std::vector<std::string> former = Lines(kFormer);
        std::vector<std::string> lines = Lines(*bytes);
        EXPECT_TRUE(IsSubsequence(former, lines)) << "lines lost: " << Joined(lines);
        /* Only whole entries for items of the tree are added. */
        std::size_t next = 0;
        for (const std::string& line : lines) {
            if (next < former.size() && line == former[next])
                ++next;
            else
                EXPECT_EQ(allowedEntries_.count(line), 1u) << "a line nobody asked for: " << line;
        }
        if (*bytes != kFormer) {
            EXPECT_EQ(bytes->substr(bytes->size() - 2), "\r\n") << "a line left half-written";
        }
        for (const std::string& copy : TempCopies()) {
            std::string held = FileBytes(copy).value_or("?");
            EXPECT_TRUE(held.empty() || held == kFormer)
                << "temporary copy " << copy << ": " << held;
        }
    }

    std::set<std::string> allowedPending_;
    std::set<std::string> allowedEntries_;
};

class FaultMatrix : public FaultTest, public ::testing::WithParamInterface<Reference>
{
  protected:
    /* The fault-free run: its log and what it recorded. */
    void RunReference()
    {
        const Reference& r = GetParam();
        Prepare(r.platform, r.currentDirectory);
        ClearLog();
        ScheduleDeletion(r.path);
        referenceLog_ = Log();
        bool onlyDeletions = true;
        referenceSources_ = PendingSources(onlyDeletions);
        referenceLines_ = Lines(FileBytes(kWininit).value_or(std::string()));

        /* The reference itself records every item, the folder last. */
        if (r.platform == VER_PLATFORM_WIN32_NT) {
            ASSERT_EQ(referenceSources_.size(), std::size(kTree));
            EXPECT_EQ(referenceSources_.back(), "\\??\\C:\\DATA\\TREE");
        } else {
            ASSERT_EQ(referenceLines_.size(), Lines(kFormer).size() + std::size(kTree));
            EXPECT_EQ(referenceLines_[3 + std::size(kTree)], "NUL=C:\\DATA\\TREE");
        }
        CheckRun(r.platform, r.currentDirectory);
    }

    /* After a failed request the same request, with nothing failing, records it all. */
    void CheckNextRequestWorks()
    {
        const Reference& r = GetParam();
        ClearLog();
        ScheduleDeletion(r.path);
        CheckRun(r.platform, r.currentDirectory);
        bool onlyDeletions = true;
        if (r.platform == VER_PLATFORM_WIN32_NT)
            EXPECT_TRUE(IsSubsequence(referenceSources_, PendingSources(onlyDeletions)));
        else
            EXPECT_TRUE(IsSubsequence(referenceLines_, Lines(FileBytes(kWininit).value_or(""))))
                << "the next request did not record everything";
    }

    std::vector<Call> referenceLog_;
    std::vector<std::string> referenceSources_;
    std::vector<std::string> referenceLines_;
};

TEST_P(FaultMatrix, EveryCallFailingInTurn)
{
    RunReference();
    const Reference& r = GetParam();
    std::map<std::string, int> ordinal;
    int injected = 0;
    int skipped = 0;
    for (const Call& call : referenceLog_) {
        int nth = ++ordinal[call.fn];
        if (kCannotFail.count(call.fn) != 0) {
            ++skipped;
            continue;
        }
        SCOPED_TRACE(call.fn + " #" + std::to_string(nth) + " (" + call.arg + ") failing");
        Prepare(r.platform, r.currentDirectory);
        FailCall(call.fn, nth);
        ClearLog();
        ScheduleDeletion(r.path);
        ++injected;
        EXPECT_GE(CountOf(call.fn), (std::size_t)nth) << "the failing call was not reached";
        CheckRun(r.platform, r.currentDirectory);
        if (HasFailure())
            break; /* one call named is enough */
    }
    RecordProperty("faults_injected", injected);
    RecordProperty("calls_that_cannot_fail", skipped);
    printf("[ matrix   ] %s: %d calls failed in turn (%d calls without a failure skipped)\n",
           r.name, injected, skipped);
}

TEST_P(FaultMatrix, EveryAllocationFailingInTurn)
{
    RunReference();
    const Reference& r = GetParam();
    long nth = 1;
    for (;; ++nth) {
        SCOPED_TRACE("allocation #" + std::to_string(nth) + " failing");
        Prepare(r.platform, r.currentDirectory);
        ClearLog();
        FailAllocation(nth);
        ScheduleDeletion(r.path);
        bool failed = AllocationFailed();
        DisarmAllocation();
        if (!failed)
            break;
        CheckRun(r.platform, r.currentDirectory);
        CheckNextRequestWorks();
        if (HasFailure())
            break;
    }
    EXPECT_GT(nth, 1) << "the request allocated nothing";
    RecordProperty("allocations_failed", nth - 1);
    printf("[ matrix   ] %s: %ld allocations failed in turn\n", r.name, nth - 1);
}

INSTANTIATE_TEST_SUITE_P(Requests, FaultMatrix, ::testing::ValuesIn(kReferences),
                         [](const ::testing::TestParamInfo<Reference>& info) {
                             return std::string(info.param.name);
                         });

/* A full disk at every byte of the rewrite: whatever does not fit, the former bytes come back
   exactly, and the copy is gone. With room for all of it the rewrite is complete. */
TEST_F(FaultTest, FullDiskAtEveryByte)
{
    struct Request {
        const char* path;
        bool withWininit;
    };
    const Request requests[] = {
        {"C:\\DATA\\F.TXT", true},
        {"C:\\DATA\\TREE", true},
        {"C:\\DATA\\F.TXT", false},
    };
    int runs = 0;
    for (const Request& request : requests) {
        Prepare(VER_PLATFORM_WIN32_WINDOWS, "C:\\", request.withWininit);
        ScheduleDeletion(request.path);
        const std::string complete = FileBytes(kWininit).value_or("");
        ASSERT_FALSE(complete.empty());
        for (std::size_t room = 0; room <= complete.size(); ++room) {
            SCOPED_TRACE(std::string(request.path) + (request.withWininit ? "" : ", no file") +
                         ", room for " + std::to_string(room) + " of " +
                         std::to_string(complete.size()) + " bytes");
            Prepare(VER_PLATFORM_WIN32_WINDOWS, "C:\\", request.withWininit);
            SetWriteBudget(room);
            ClearLog();
            ScheduleDeletion(request.path);
            ++runs;
            std::optional<std::string> after = FileBytes(kWininit);
            if (room == complete.size())
                EXPECT_EQ(after, complete);
            else if (request.withWininit)
                EXPECT_EQ(after, kFormer);
            else
                EXPECT_FALSE(after.has_value()) << "a half-written WININIT.INI: " << *after;
            EXPECT_TRUE(TempCopies().empty());
            EXPECT_EQ(OpenTextFiles(), 0);
            if (HasFailure())
                return;
        }
    }
    RecordProperty("full_disk_runs", runs);
    printf("[ matrix   ] full disk: %d rewrites cut short\n", runs);
}

/* Full disk and then the put-back copy failing too: the temporary copy is kept with the former
   bytes, and WININIT.INI holds nothing that names another file. */
TEST_F(FaultTest, FullDiskAndPutBackFailing)
{
    Prepare(VER_PLATFORM_WIN32_WINDOWS, "C:\\");
    ScheduleDeletion("C:\\DATA\\TREE");
    const std::size_t complete = FileBytes(kWininit)->size();
    for (std::size_t room = 0; room < complete; ++room) {
        SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
        Prepare(VER_PLATFORM_WIN32_WINDOWS, "C:\\");
        SetWriteBudget(room);
        FailCall("CopyFileA", 2);
        ScheduleDeletion("C:\\DATA\\TREE");
        std::vector<std::string> copies = TempCopies();
        ASSERT_EQ(copies.size(), 1u) << "the copy of the former contents was not kept";
        EXPECT_EQ(FileBytes(copies[0]), kFormer);
        std::string bytes = FileBytes(kWininit).value_or("");
        std::vector<std::string> former = Lines(kFormer);
        for (const std::string& line : Lines(bytes)) {
            EXPECT_TRUE(std::find(former.begin(), former.end(), line) != former.end() ||
                        allowedEntries_.count(line) != 0)
                << "a line nobody asked for: " << line;
        }
        if (!bytes.empty()) {
            EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << "a line left half-written";
        }
        if (HasFailure())
            return;
    }
}

/* When not one item of the request has a short form there is nothing to record: WININIT.INI
   stays exactly as it was (line ends included), and none is created. */
TEST_F(FaultTest, NoShortFormAtAllLeavesWininitAlone)
{
    struct Case {
        const char* name;
        std::optional<std::string> before;
    };
    const Case cases[] = {
        {"no rename section, LF ends", std::string("[boot]\nshell=x\n")},
        {"rename section", kFormer},
        {"no file", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare(VER_PLATFORM_WIN32_WINDOWS, "C:\\", false);
        if (c.before)
            AddFile(kWininit, *c.before);
        FailAlways("GetShortPathNameA");
        ScheduleDeletion("C:\\DATA\\TREE");
        EXPECT_EQ(FileBytes(kWininit), c.before);
        EXPECT_TRUE(TempCopies().empty());
    }
}
