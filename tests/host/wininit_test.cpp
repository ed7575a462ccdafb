/* WININIT.INI: the rewrite that adds "NUL=" lines to every rename section, its safety against
   failures, and the reader of the pending entries. */

#include "fixture.h"

#include <optional>

using namespace standin;

namespace
{

const char kWininit[] = "C:\\WINDOWS\\WININIT.INI";
const char kFile[] = "C:\\LONGFILENAME.TXT";
const std::string N = "NUL=C:\\LONGFI~1.TXT\r\n";

} // namespace

class WininitTest : public HostTest
{
  protected:
    void SetUp() override
    {
        HostTest::SetUp();
        SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
        AddFile(kFile);
    }

    static std::optional<std::string> Wininit()
    {
        return FileBytes(kWininit);
    }
};

struct RewriteCase {
    const char* name;
    std::optional<std::string> before;
    std::string after;
};

TEST_F(WininitTest, RewriteTable)
{
    using S = std::string;
    const RewriteCase cases[] = {
        {"no file", std::nullopt, "[rename]\r\n" + N},
        {"zero bytes", S(), "[rename]\r\n" + N},
        {"X K X H E E", "X\r\n[boot]\r\nY=1\r\n[rename]\r\nNUL=C:\\A\r\n;c\r\n",
         "X\r\n[boot]\r\nY=1\r\n[rename]\r\nNUL=C:\\A\r\n;c\r\n" + N},
        {"H E K X", "[rename]\r\nNUL=C:\\A\r\n[boot]\r\nY=1\r\n",
         "[rename]\r\nNUL=C:\\A\r\n" + N + "[boot]\r\nY=1\r\n"},
        {"H E blank", "[rename]\r\nNUL=C:\\A\r\n\r\n", "[rename]\r\nNUL=C:\\A\r\n\r\n" + N},
        {"K X", "[boot]\r\nY=1\r\n", "[boot]\r\nY=1\r\n[rename]\r\n" + N},
        {"H E K X H E", "[rename]\r\nA\r\n[boot]\r\nY\r\n[rename]\r\nB\r\n",
         "[rename]\r\nA\r\n" + N + "[boot]\r\nY\r\n[rename]\r\nB\r\n" + N},
        {"H E H E", "[rename]\r\nA\r\n[rename]\r\nB\r\n",
         "[rename]\r\nA\r\n" + N + "[rename]\r\nB\r\n"},
        {"H without line end", "[rename]", "[rename]\r\n" + N},
        {"header in upper case", "[RENAME]\r\nA\r\n", "[RENAME]\r\nA\r\n" + N},
        {"header in mixed case", "[Rename]\n", "[Rename]\r\n" + N},
        {"trailing blank: no header", "[rename] \r\nA\r\n", "[rename] \r\nA\r\n[rename]\r\n" + N},
        {"leading blank: no header", " [rename]\r\nA\r\n", " [rename]\r\nA\r\n[rename]\r\n" + N},
        {"comment after: no header", "[rename];x\r\n", "[rename];x\r\n[rename]\r\n" + N},
        {"lone [ ends the section", "[rename]\r\nA\r\n[\r\nX\r\n",
         "[rename]\r\nA\r\n" + N + "[\r\nX\r\n"},
        {"blank before [ does not end it", "[rename]\r\n [x]\r\n", "[rename]\r\n [x]\r\n" + N},
        {"LF only", "X\n[rename]\nNUL=C:\\A\n", "X\r\n[rename]\r\nNUL=C:\\A\r\n" + N},
        {"last line without line end", "[rename]\r\nNUL=C:\\A", "[rename]\r\nNUL=C:\\A\r\n" + N},
        {"other CRs stay", "X\rY\r\n[rename]\r\nZ\r\r\n", "X\rY\r\n[rename]\r\nZ\r\r\n" + N},
        {"blank lines", "\r\n\r\n[rename]\r\n\r\n", "\r\n\r\n[rename]\r\n\r\n" + N},
        {"a single blank line", "\n", "\r\n[rename]\r\n" + N},
        {"0x1A is carried over", "[rename]\r\nNUL=C:\\A\r\n\x1a",
         "[rename]\r\nNUL=C:\\A\r\n\x1a\r\n" + N},
        {"0x1A before a section", "[rename]\r\n\x1a\r\n[boot]\r\nY\r\n",
         "[rename]\r\n\x1a\r\n" + N + "[boot]\r\nY\r\n"},
        {"NUL inside a line", S("X\0Y\r\n[rename]\r\n", 15), S("X\0Y\r\n[rename]\r\n", 15) + N},
        {"header up to its NUL", S("[rename]\0junk\r\nA\r\n", 18),
         S("[rename]\0junk\r\nA\r\n", 18) + N},
    };
    for (const RewriteCase& c : cases) {
        Reset();
        SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
        AddFile(kFile);
        if (c.before)
            AddFile(kWininit, *c.before);
        ScheduleInWininit(kFile, NULL);
        EXPECT_EQ(Wininit(), c.after) << c.name;
        EXPECT_TRUE(TempCopies().empty()) << c.name << ": the temporary copy is deleted";
        EXPECT_EQ(OpenTextFiles(), 0) << c.name;
    }
}

TEST_F(WininitTest, FolderEntriesInListOrderWithShortPathsAndTheFolderLast)
{
    AddFile("C:\\Long Folder\\first file.txt");
    AddFile("C:\\Long Folder\\Sub Folder\\g");
    AddFile(kWininit, "[rename]\r\nNUL=C:\\OLD\r\n[boot]\r\n");
    ScheduleDeletion("C:\\Long Folder");
    EXPECT_EQ(Wininit(), CrLf({"[rename]", "NUL=C:\\OLD", "NUL=C:\\LONGFO~1\\FIRSTF~1.TXT",
                               "NUL=C:\\LONGFO~1\\SUBFOL~1\\g", "NUL=C:\\LONGFO~1\\SUBFOL~1",
                               "NUL=C:\\LONGFO~1", "[boot]"}));
    EXPECT_EQ(CountOf("MoveFileExA"), 0u);
}

TEST_F(WininitTest, EmptyFolderIsOneEntry)
{
    AddFolder("C:\\Empty Folder");
    ScheduleDeletion("C:\\Empty Folder");
    EXPECT_EQ(Wininit(), CrLf({"[rename]", "NUL=C:\\EMPTYF~1"}));
}

TEST_F(WininitTest, ShortPathsAreAskedOnceEachInOrder)
{
    AddFile("C:\\D\\a");
    AddFile("C:\\D\\b");
    ScheduleDeletion("C:\\D");
    EXPECT_EQ(ArgsOf("GetShortPathNameA"),
              (std::vector<std::string>{"C:\\D", "C:\\D\\a", "C:\\D\\b"}));
    for (const Call& call : CallsTo("GetShortPathNameA"))
        EXPECT_EQ(call.n1, MAX_PATH);
}

TEST_F(WininitTest, ItemWithoutShortFormGetsNoEntry)
{
    AddFile("C:\\D\\a");
    AddFile("C:\\D\\b");
    AddFile("C:\\D\\c");
    FailCall("GetShortPathNameA", 3); /* 1: C:\D itself, 2: a, 3: b */
    ScheduleDeletion("C:\\D");
    EXPECT_EQ(Wininit(), CrLf({"[rename]", "NUL=C:\\D\\a", "NUL=C:\\D\\c", "NUL=C:\\D"}));

    Reset();
    SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    AddFile("C:\\D\\a");
    FailCall("GetShortPathNameA", 1);
    ScheduleDeletion("C:\\D");
    EXPECT_EQ(Wininit(), CrLf({"[rename]", "NUL=C:\\D\\a"})) << "the folder's own entry";
}

TEST_F(WininitTest, NothingToWriteLeavesTheFileAlone)
{
    ScheduleDeletion("C:\\missing.txt");
    ScheduleDeletion("");
    EXPECT_FALSE(Exists(kWininit)) << "not created";

    const std::string before = "[rename]\nNUL=C:\\A\n";
    AddFile(kWininit, before);
    ScheduleDeletion("C:\\missing.txt");
    EXPECT_EQ(Wininit(), before) << "not even rewritten with CR LF";
    EXPECT_EQ(CountOf("OpenTextFileForWriting"), 0u);
    EXPECT_EQ(CountOf("GetTempFileNameA"), 0u);
}

TEST_F(WininitTest, TemporaryCopyIsAKdwFileInTheTempFolderAndGoesAway)
{
    AddFile(kWininit, "[rename]\r\n");
    ScheduleInWininit(kFile, NULL);
    std::vector<Call> temps = CallsTo("GetTempFileNameA");
    ASSERT_EQ(temps.size(), 1u);
    EXPECT_EQ(temps[0].arg, "C:\\TEMP\\");
    EXPECT_EQ(temps[0].arg2.substr(0, 11), "C:\\TEMP\\kdw");
    EXPECT_EQ(temps[0].n1, 0);
    std::vector<Call> copies = CallsTo("CopyFileA");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].arg, kWininit);
    EXPECT_EQ(copies[0].arg2, temps[0].arg2);
    EXPECT_EQ(copies[0].n1, FALSE) << "the empty temporary file may be replaced";
    EXPECT_EQ(ArgsOf("DeleteFileA"), std::vector<std::string>{temps[0].arg2});
    EXPECT_TRUE(TempCopies().empty());
    /* The copy is deleted only after WININIT.INI was closed. */
    std::vector<std::string> order = Sequence({"TextFileClose", "DeleteFileA"});
    ASSERT_FALSE(order.empty());
    EXPECT_EQ(order.back(), "DeleteFileA");
    EXPECT_EQ(ArgsOf("TextFileClose").back(), kWininit);
}

TEST_F(WininitTest, FullDiskAtAnyOffsetLeavesTheFileAsItWas)
{
    const std::string before = "[boot]\r\nX=1\r\n[rename]\r\nNUL=C:\\OLD\r\n[386Enh]\r\nY=2\r\n";
    const std::string after =
        "[boot]\r\nX=1\r\n[rename]\r\nNUL=C:\\OLD\r\n" + N + "[386Enh]\r\nY=2\r\n";
    for (std::size_t budget = 0; budget <= after.size(); ++budget) {
        Reset();
        SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
        AddFile(kFile);
        AddFile(kWininit, before);
        SetWriteBudget(budget);
        ScheduleInWininit(kFile, NULL);
        EXPECT_EQ(Wininit(), budget < after.size() ? before : after) << "budget " << budget;
        EXPECT_TRUE(TempCopies().empty()) << "budget " << budget;
    }
}

TEST_F(WininitTest, FullDiskWhenPuttingBackKeepsTheCopy)
{
    const std::string before = "[rename]\r\nNUL=C:\\OLD\r\n";
    AddFile(kWininit, before);
    SetWriteBudget(7);
    FailCall("CopyFileA", 2); /* the put-back */
    ScheduleInWininit(kFile, NULL);
    std::vector<std::string> copies = TempCopies();
    ASSERT_EQ(copies.size(), 1u) << "no byte may be lost";
    EXPECT_EQ(FileBytes(copies[0]), before);
}

TEST_F(WininitTest, FailedPutBackCopyIsMadeGoodByWritingTheLinesBack)
{
    const std::string before = "[rename]\r\nNUL=C:\\OLD\r\n[boot]\r\n";
    AddFile(kWininit, before);
    FailCall("TextFileWrite", 2);
    FailCall("CopyFileA", 2);
    ScheduleInWininit(kFile, NULL);
    EXPECT_EQ(Wininit(), before);
    EXPECT_TRUE(TempCopies().empty());
}

struct DropCase {
    const char* name;
    void (*arrange)();
    bool wininitOpened; /* whether WININIT.INI gets opened for writing at all */
};

TEST_F(WininitTest, TemporaryCopyFailuresLeaveTheFileUntouched)
{
    const DropCase cases[] = {
        {"GetTempPathA fails", [] { FailCall("GetTempPathA", 1); }, false},
        {"temp path too long", [] { SetTempPath("C:\\" + Repeat('t', 300) + "\\"); }, false},
        {"temp folder missing", [] { SetTempPath("C:\\NOTEMP\\"); }, false},
        {"GetTempFileNameA fails", [] { FailCall("GetTempFileNameA", 1); }, false},
        {"CopyFileA fails", [] { FailCall("CopyFileA", 1); }, false},
        {"copy cannot be opened", [] { FailCall("OpenTextFileForReading", 1); }, false},
        {"copy cannot be read", [] { FailReadAfter("C:\\TEMP\\kdw0001.tmp", 12); }, false},
        {"WININIT.INI cannot be opened for writing", [] { FailCall("OpenTextFileForWriting", 1); },
         true},
    };
    const std::string before = "[rename]\nNUL=C:\\OLD\n[boot]\nX=1\n";
    for (const DropCase& c : cases) {
        Reset();
        SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
        AddFile(kFile);
        AddFile(kWininit, before);
        c.arrange();
        ScheduleInWininit(kFile, NULL);
        EXPECT_EQ(Wininit(), before) << c.name;
        EXPECT_TRUE(TempCopies().empty()) << c.name;
        std::vector<std::string> opened = ArgsOf("OpenTextFileForWriting");
        EXPECT_EQ(!opened.empty(), c.wininitOpened) << c.name;
        EXPECT_EQ(OpenTextFiles(), 0) << c.name;
    }
}

/* CopyFileA carries the read-only attribute over to the copy, which DeleteFileA then refuses. */
TEST_F(WininitTest, ReadOnlyWininitLeavesNoTemporaryCopy)
{
    const std::string before = "[rename]\r\nNUL=C:\\OLD\r\n";
    AddFile(kWininit, before, FILE_ATTRIBUTE_READONLY);
    ScheduleInWininit(kFile, NULL);
    EXPECT_EQ(Wininit(), before);
    EXPECT_TRUE(TempCopies().empty()) << "left behind: " << ::testing::PrintToString(TempCopies());
}

TEST_F(WininitTest, CreationThatFailsLeavesNoFile)
{
    const std::string full = "[rename]\r\n" + N;
    for (std::size_t budget = 0; budget < full.size(); ++budget) {
        Reset();
        SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
        AddFile(kFile);
        SetWriteBudget(budget);
        ScheduleInWininit(kFile, NULL);
        EXPECT_FALSE(Exists(kWininit)) << "budget " << budget;
    }
    Reset();
    SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    AddFile(kFile);
    FailCall("OpenTextFileForWriting", 1);
    ScheduleInWininit(kFile, NULL);
    EXPECT_FALSE(Exists(kWininit));
}

TEST_F(WininitTest, MemoryExhaustionLosesNoLine)
{
    const std::string before = "[boot]\r\nX=1\r\n[rename]\r\nNUL=C:\\OLD\r\n[386Enh]\r\nY=2\r\n";
    const std::string after =
        "[boot]\r\nX=1\r\n[rename]\r\nNUL=C:\\OLD\r\n" + N + "[386Enh]\r\nY=2\r\n";
    for (long nth = 1;; ++nth) {
        Reset();
        SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
        AddFile(kFile);
        AddFile(kWininit, before);
        FailAllocation(nth);
        ScheduleDeletion(kFile);
        bool failed = AllocationFailed();
        DisarmAllocation();
        std::optional<std::string> now = Wininit();
        EXPECT_TRUE(now == before || now == after) << "allocation " << nth;
        EXPECT_TRUE(TempCopies().empty()) << "allocation " << nth;
        EXPECT_EQ(OpenTextFiles(), 0) << "allocation " << nth;
        if (!failed) {
            EXPECT_EQ(now, after);
            break;
        }
        ASSERT_LT(nth, 500);
    }
}

TEST_F(WininitTest, PathComesFromTheWindowsDirectory)
{
    SetWindowsDirectory("D:\\WIN98");
    AddFolder("D:\\WIN98");
    ScheduleInWininit(kFile, NULL);
    EXPECT_EQ(FileBytes("D:\\WIN98\\WININIT.INI"), "[rename]\r\n" + N);
    EXPECT_FALSE(Exists(kWininit));
}

/* ---- Reader ---- */

struct ReadCase {
    const char* name;
    std::string file;
    std::vector<std::string> items;
};

class WininitReaderTest : public WininitTest
{
};

TEST_F(WininitReaderTest, ReadTable)
{
    using S = std::string;
    const ReadCase cases[] = {
        {"X K X H D1 E D2",
         "X\r\n[boot]\r\nY\r\n[rename]\r\nNUL=C:\\D1\r\nE\r\nNUL=C:\\D2\r\n",
         {"C:\\D1", "C:\\D2"}},
        {"H D1 K X H D2", "[rename]\r\nNUL=a\r\n[boot]\r\nX\r\n[rename]\r\nNUL=b\r\n", {"a", "b"}},
        {"H D1 H D2", "[rename]\r\nNUL=a\r\n[rename]\r\nNUL=b\r\n", {"a"}},
        {"K F H D2", "[boot]\r\nNUL=f\r\n[rename]\r\nNUL=b\r\n", {"b"}},
        {"NUL= before any header", "NUL=x\r\n[rename]\r\n", {}},
        {"upper-case header", "[RENAME]\r\nNUL=a\r\n", {"a"}},
        {"blank after header", "[rename] \r\nNUL=a\r\n", {}},
        {"blank before header", " [rename]\r\nNUL=a\r\n", {}},
        {"lower-case entry", "[rename]\r\nnul=C:\\OLDFILE.TXT\r\n", {"C:\\OLDFILE.TXT"}},
        {"blank before NUL=", "[rename]\r\n NUL=a\r\n", {}},
        {"blank before =", "[rename]\r\nNUL =a\r\n", {}},
        {"trailing blanks kept", "[rename]\r\nNUL=a  \r\n", {"a  "}},
        {"LF only", "[rename]\nNUL=a\nNUL=b\n", {"a", "b"}},
        {"last line without line end", "[rename]\r\nNUL=a", {"a"}},
        {"NUL= alone", "[rename]\r\nNUL=\r\nnul=\n", {"", ""}},
        {"shorter than four bytes", "[rename]\r\nNUL\r\nNU\r\n", {}},
        {"other CRs stay", "[rename]\r\nNUL=a\rb\r\nNUL=c\r\r\n", {"a\rb", "c\r"}},
        {"text up to a NUL byte", S("[rename]\r\nNUL=ab\0cd\r\nNUL=e\r\n", 28), {"ab", "e"}},
        {"read on after 0x1A", "[rename]\r\nNUL=a\r\n\x1a\r\nNUL=b\r\n", {"a", "b"}},
        {"empty file", "", {}},
    };
    for (const ReadCase& c : cases) {
        Reset();
        SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
        AddFile(kWininit, c.file);
        g_hPendingList = ListBox();
        SetListBoxItems({"kept"});
        ReadWininitRenameSection();
        std::vector<std::string> expected{"kept"};
        expected.insert(expected.end(), c.items.begin(), c.items.end());
        EXPECT_EQ(ListBoxItems(), expected) << c.name;
    }
}

TEST_F(WininitReaderTest, NoFileOrNoReadingAddsNothing)
{
    g_hPendingList = ListBox();
    SetListBoxItems({"kept"});
    ReadWininitRenameSection();
    EXPECT_EQ(ListBoxItems(), std::vector<std::string>{"kept"});
    EXPECT_EQ(CountOf("OpenTextFileForReading"), 0u);

    AddFile(kWininit, "[rename]\r\nNUL=a\r\n");
    FailCall("OpenTextFileForReading", 1);
    ReadWininitRenameSection();
    EXPECT_EQ(ListBoxItems(), std::vector<std::string>{"kept"});
    EXPECT_EQ(OpenFindHandles(), 0) << "PathExists closes its handle";
}

TEST_F(WininitReaderTest, ReadFailingPartWayListsOnlyWholeLines)
{
    /* The failure falls inside "NUL=C:\\LONG": half an entry would name another file. */
    AddFile(kWininit, "[rename]\r\nNUL=C:\\A\r\nNUL=C:\\LONGNAME\r\n");
    FailReadAfter(kWininit, 28);
    g_hPendingList = ListBox();
    ReadWininitRenameSection();
    EXPECT_EQ(ListBoxItems(), std::vector<std::string>{"C:\\A"});
}

TEST_F(WininitReaderTest, WrittenEntriesShowAtTheEndOfEverySection)
{
    AddFile(kWininit, "[rename]\r\nNUL=a\r\n[boot]\r\n[rename]\r\nNUL=b\r\n");
    ScheduleInWininit(kFile, NULL);
    g_hPendingList = ListBox();
    RefreshPendingList();
    EXPECT_EQ(ListBoxItems(),
              (std::vector<std::string>{"a", "C:\\LONGFI~1.TXT", "b", "C:\\LONGFI~1.TXT"}));
    EXPECT_EQ(CountOf("RegOpenKeyExA"), 0u);
}
