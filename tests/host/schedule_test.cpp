/* Deletion requests: the folder test, the choice of back end per request, and MoveFileExA. */

#include "fixture.h"

using namespace standin;

class ScheduleTest : public HostTest
{
  protected:
    /* D holds f and S, S holds g; f is enumerated before S. */
    static void MakeTree(const std::string& d)
    {
        AddFile(d + "\\f");
        AddFile(d + "\\S\\g");
    }
};

TEST_F(ScheduleTest, FileIsRecordedOnceAsReceived)
{
    AddFile("C:\\D\\f.txt");
    ScheduleDeletion("C:\\D\\f.txt");
    std::vector<Call> moves = CallsTo("MoveFileExA");
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].arg, "C:\\D\\f.txt");
    EXPECT_EQ(moves[0].n1, MOVEFILE_DELAY_UNTIL_REBOOT) << "that flag alone";
    EXPECT_EQ(moves[0].n2, 1) << "no new name";
    EXPECT_EQ(*PendingValue(), PendingDeletions({"C:\\D\\f.txt"}));
    EXPECT_EQ(CountOf("FindFirstFileA"), 0u) << "a file is not walked";
}

TEST_F(ScheduleTest, NonFoldersGoToTheBackEndAlone)
{
    const char* paths[] = {"C:\\missing.txt", "", "C:\\missing\\deeper", "rel.txt"};
    for (const char* path : paths) {
        Reset();
        ScheduleDeletion(path);
        EXPECT_EQ(Recorded(), std::vector<std::string>{path}) << "[" << path << "]";
        EXPECT_EQ(CountOf("SetCurrentDirectoryA"), 0u);
    }
}

TEST_F(ScheduleTest, FolderContentsDeepestFirstAndTheFolderLast)
{
    MakeTree("C:\\D");
    ScheduleDeletion("C:\\D");
    EXPECT_EQ(Recorded(),
              (std::vector<std::string>{"C:\\D\\f", "C:\\D\\S\\g", "C:\\D\\S", "C:\\D"}));
    EXPECT_EQ(CurrentDirectory(), "C:\\");
}

TEST_F(ScheduleTest, EnumerationOrderIsKept)
{
    MakeTree("C:\\D");
    SetOrder("C:\\D", {"S", "f"});
    ScheduleDeletion("C:\\D");
    EXPECT_EQ(Recorded(),
              (std::vector<std::string>{"C:\\D\\S\\g", "C:\\D\\S", "C:\\D\\f", "C:\\D"}));
}

TEST_F(ScheduleTest, EmptyFolderIsOneRecording)
{
    AddFolder("C:\\E");
    ScheduleDeletion("C:\\E");
    EXPECT_EQ(Recorded(), std::vector<std::string>{"C:\\E"});
}

TEST_F(ScheduleTest, RelativeFolderKeepsItsFormAndTheCurrentDirectory)
{
    MakeTree("C:\\work\\D");
    AddFolder("C:\\work\\D\\D"); /* a same-named folder inside catches a walk that stays put */
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\work"));
    ScheduleDeletion("D");
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"C:\\work\\D\\f", "C:\\work\\D\\S\\g",
                                                    "C:\\work\\D\\S", "C:\\work\\D\\D", "D"}));
    EXPECT_EQ(CurrentDirectory(), "C:\\work");
    ScheduleDeletion("D\\S");
    EXPECT_EQ(Recorded().back(), "D\\S");
    EXPECT_EQ(CurrentDirectory(), "C:\\work");
}

TEST_F(ScheduleTest, DriveRootIsAFolderLikeAnyOther)
{
    AddFile("E:\\a");
    AddFile("E:\\S\\b");
    ScheduleDeletion("E:\\");
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"E:\\a", "E:\\S\\b", "E:\\S", "E:\\"}));
    std::vector<std::string> patterns = ArgsOf("FindFirstFileA");
    ASSERT_FALSE(patterns.empty());
    EXPECT_EQ(patterns[0], "E:\\\\*.*") << "root plus \\*.*, two backslashes";
}

TEST_F(ScheduleTest, AttributesAreNoFilter)
{
    AddFile("C:\\D\\hidden", "", FILE_ATTRIBUTE_HIDDEN);
    AddFile("C:\\D\\system", "", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    AddFile("C:\\D\\readonly", "", FILE_ATTRIBUTE_READONLY);
    AddFolder("C:\\D\\H", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    AddFile("C:\\D\\H\\inner", "", FILE_ATTRIBUTE_READONLY);
    ScheduleDeletion("C:\\D");
    EXPECT_EQ(Recorded(),
              (std::vector<std::string>{"C:\\D\\hidden", "C:\\D\\system", "C:\\D\\readonly",
                                        "C:\\D\\H\\inner", "C:\\D\\H", "C:\\D"}));
}

TEST_F(ScheduleTest, SameFolderTwiceIsRecordedTwice)
{
    MakeTree("C:\\D");
    ScheduleDeletion("C:\\D");
    ScheduleDeletion("C:\\D");
    std::vector<std::string> once{"C:\\D\\f", "C:\\D\\S\\g", "C:\\D\\S", "C:\\D"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(Recorded(), twice);
}

TEST_F(ScheduleTest, OneFailedRecordingDoesNotStopTheOthers)
{
    MakeTree("C:\\D");
    FailCall("MoveFileExA", 2);
    ScheduleDeletion("C:\\D");
    EXPECT_EQ(CountOf("MoveFileExA"), 4u);
    EXPECT_EQ(*PendingValue(), PendingDeletions({"C:\\D\\f", "C:\\D\\S", "C:\\D"}));
}

struct FamilyCase {
    DWORD platformId;
    bool versionFails;
    bool nt;
};

TEST_F(ScheduleTest, BackEndChosenByFamily)
{
    const FamilyCase cases[] = {
        {VER_PLATFORM_WIN32_NT, false, true}, {VER_PLATFORM_WIN32_WINDOWS, false, false},
        {VER_PLATFORM_WIN32s, false, false},  {3, false, false},
        {VER_PLATFORM_WIN32_NT, true, false}, /* the record stays zero */
    };
    for (const FamilyCase& c : cases) {
        Reset();
        MakeTree("C:\\D");
        SetPlatformId(c.platformId);
        SetVersionFails(c.versionFails);
        ScheduleDeletion("C:\\D");
        if (c.nt) {
            EXPECT_EQ(CountOf("MoveFileExA"), 4u);
            EXPECT_FALSE(Exists("C:\\WINDOWS\\WININIT.INI"));
        } else {
            EXPECT_EQ(CountOf("MoveFileExA"), 0u) << "platform " << c.platformId;
            EXPECT_EQ(
                FileBytes("C:\\WINDOWS\\WININIT.INI"),
                CrLf({"[rename]", "NUL=C:\\D\\f", "NUL=C:\\D\\S\\g", "NUL=C:\\D\\S", "NUL=C:\\D"}))
                << "platform " << c.platformId;
        }
    }
}

TEST_F(ScheduleTest, VersionRecordIsZeroedWithItsSize)
{
    EXPECT_TRUE(IsNtFamily());
    SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_FALSE(IsNtFamily());
    std::vector<Call> queries = CallsTo("GetVersionExA");
    ASSERT_EQ(queries.size(), 2u) << "asked anew, never cached";
    for (const Call& query : queries) {
        EXPECT_EQ(query.n1, 148);
        EXPECT_EQ(query.n2, 1) << "all other bytes zero";
    }
}

TEST_F(ScheduleTest, FamilyIsAskedPerRequest)
{
    AddFile("C:\\f");
    AddFile("C:\\g");
    ScheduleDeletion("C:\\f");
    SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    ScheduleDeletion("C:\\g");
    EXPECT_EQ(Recorded(), std::vector<std::string>{"C:\\f"});
    EXPECT_EQ(FileBytes("C:\\WINDOWS\\WININIT.INI"), CrLf({"[rename]", "NUL=C:\\g"}));
}

TEST_F(ScheduleTest, IsFolderOnlyForExistingFolders)
{
    AddFile("C:\\D\\f");
    EXPECT_TRUE(IsFolder("C:\\D"));
    EXPECT_TRUE(IsFolder("C:\\"));
    EXPECT_FALSE(IsFolder("C:\\D\\f"));
    EXPECT_FALSE(IsFolder("C:\\nothing"));
    EXPECT_FALSE(IsFolder(""));
}

TEST_F(ScheduleTest, WalkThatCannotFindItsWayBackDropsTheRequest)
{
    MakeTree("C:\\D");
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\WINDOWS"));
    FailCallsFrom("SetCurrentDirectoryA", 2); /* entering D works, every way back fails */
    ScheduleDeletion("C:\\D");
    EXPECT_EQ(CountOf("MoveFileExA"), 0u);
}

TEST_F(ScheduleTest, OneRetryOfTheWayBackIsEnough)
{
    AddFile("C:\\D\\f");
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\WINDOWS"));
    FailCall("SetCurrentDirectoryA", 2);
    ScheduleDeletion("C:\\D");
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"C:\\D\\f", "C:\\D"}));
    EXPECT_EQ(CurrentDirectory(), "C:\\WINDOWS");
}

TEST_F(ScheduleTest, MemoryExhaustionDropsTheRequestAndTheNextStillWorks)
{
    for (long nth = 1;; ++nth) {
        Reset();
        AddFile("C:\\Deep folder\\first file with a long name.txt");
        AddFile("C:\\Deep folder\\Sub folder\\second file with a long name.txt");
        AddFile("C:\\Deep folder\\Sub folder\\third file with a long name.txt");
        AddFile("C:\\next.txt");
        ASSERT_TRUE(SetCurrentDirectoryA("C:\\WINDOWS"));
        FailAllocation(nth);
        ScheduleDeletion("C:\\Deep folder");
        bool failed = AllocationFailed();
        DisarmAllocation();
        EXPECT_EQ(CurrentDirectory(), "C:\\WINDOWS") << "allocation " << nth;
        EXPECT_EQ(OpenFindHandles(), 0) << "allocation " << nth;
        if (!failed) {
            EXPECT_EQ(CountOf("MoveFileExA"), 5u);
            break;
        }
        EXPECT_EQ(CountOf("MoveFileExA"), 0u) << "allocation " << nth << ": request dropped";
        ScheduleDeletion("C:\\next.txt");
        EXPECT_EQ(Recorded(), std::vector<std::string>{"C:\\next.txt"});
        ASSERT_LT(nth, 500);
    }
}

TEST_F(ScheduleTest, RequestedLinkIsRecordedAsItselfWithoutAWalk)
{
    AddFolder("C:\\J", FILE_ATTRIBUTE_REPARSE_POINT);
    AddFile("C:\\J\\elsewhere");
    EXPECT_FALSE(IsFolder("C:\\J"));
    ScheduleDeletion("C:\\J");
    EXPECT_EQ(Recorded(), std::vector<std::string>{"C:\\J"});
    EXPECT_EQ(CountOf("SetCurrentDirectoryA"), 0u);
}
