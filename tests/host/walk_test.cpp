/* The folder walk: post-order full paths, the current directory always restored, and the
   guards against what the system would resolve elsewhere. */

#include "fixture.h"

using namespace standin;

class WalkTest : public HostTest
{
  protected:
    void SetUp() override
    {
        HostTest::SetUp();
        AddFolder("C:\\home");
        ASSERT_TRUE(SetCurrentDirectoryA("C:\\home"));
        ClearLog();
    }

    /* Walks folder from C:\home and checks that C:\home is current again. */
    std::vector<std::string> Walk(const std::string& folder, BOOL expectedResult = TRUE)
    {
        PathList list;
        EXPECT_EQ(CollectFolderContents(folder.c_str(), list), expectedResult) << folder;
        EXPECT_EQ(CurrentDirectory(), "C:\\home") << "after walking " << folder;
        return std::vector<std::string>(list.begin(), list.end());
    }
};

TEST_F(WalkTest, PostOrderWithFullPaths)
{
    AddFile("C:\\D\\f");
    AddFile("C:\\D\\S\\g");
    AddFile("C:\\D\\S\\T\\h");
    AddFile("C:\\D\\z");
    EXPECT_EQ(Walk("C:\\D"), (std::vector<std::string>{"C:\\D\\f", "C:\\D\\S\\g", "C:\\D\\S\\T\\h",
                                                       "C:\\D\\S\\T", "C:\\D\\S", "C:\\D\\z"}));
    EXPECT_EQ(Walk("..\\D").size(), 6u) << "relative to the current directory";
    EXPECT_TRUE(Walk("C:\\home").empty()) << "an empty folder";
}

TEST_F(WalkTest, EveryBufferIsMaxPath)
{
    AddFile("C:\\D\\f");
    Walk("C:\\D");
    for (const Call& call : CallsTo("GetCurrentDirectoryA"))
        EXPECT_EQ(call.n1, MAX_PATH);
    for (const Call& call : CallsTo("GetFullPathNameA"))
        EXPECT_EQ(call.n1, MAX_PATH);
    EXPECT_EQ(ArgsOf("GetFullPathNameA"), std::vector<std::string>{"f"}) << "bare names";
}

TEST_F(WalkTest, DotNamesOtherThanDotAndDotDotAreCollected)
{
    AddFolder("C:\\D");
    AddFileNamed("C:\\D", "...");
    AddFile("C:\\D\\.x");
    AddFile("C:\\D\\.hidden\\in");
    EXPECT_EQ(Walk("C:\\D"), (std::vector<std::string>{"C:\\D\\...", "C:\\D\\.x",
                                                       "C:\\D\\.hidden\\in", "C:\\D\\.hidden"}));
    for (const std::string& name : ArgsOf("GetFullPathNameA")) {
        EXPECT_NE(name, ".");
        EXPECT_NE(name, "..");
    }
}

TEST_F(WalkTest, ReparsePointFolderIsRecordedButNotEntered)
{
    AddFolder("C:\\D\\J", FILE_ATTRIBUTE_REPARSE_POINT);
    AddFile("C:\\D\\J\\elsewhere");
    EXPECT_EQ(Walk("C:\\D"), std::vector<std::string>{"C:\\D\\J"});
    for (const std::string& path : ArgsOf("SetCurrentDirectoryA"))
        EXPECT_NE(path, "J");
}

TEST_F(WalkTest, SubfolderOutOfReachIsStillRecorded)
{
    AddFile("C:\\D\\A\\a");
    AddFile("C:\\D\\L\\l");
    AddFile("C:\\D\\f");
    SetNotEnterable("C:\\D\\A");
    SetNotListable("C:\\D\\L");
    EXPECT_EQ(Walk("C:\\D"), (std::vector<std::string>{"C:\\D\\A", "C:\\D\\L", "C:\\D\\f"}));
}

TEST_F(WalkTest, FolderOutOfReachGivesNothing)
{
    AddFile("C:\\D\\f");
    SetNotEnterable("C:\\D");
    EXPECT_TRUE(Walk("C:\\D").empty());
    EXPECT_TRUE(Walk("C:\\nowhere").empty());
    SetNotListable("C:\\home");
    EXPECT_TRUE(Walk("C:\\home").empty());
}

TEST_F(WalkTest, EnumerationFailingPartWayKeepsWhatItHad)
{
    AddFile("C:\\D\\a");
    AddFile("C:\\D\\S\\s1");
    AddFile("C:\\D\\S\\s2");
    AddFile("C:\\D\\c");
    StopEnumerationAfter("C:\\D", 2);
    StopEnumerationAfter("C:\\D\\S", 1);
    EXPECT_EQ(Walk("C:\\D"), (std::vector<std::string>{"C:\\D\\a", "C:\\D\\S\\s1", "C:\\D\\S"}));
    EXPECT_EQ(CountOf("FindClose"), 2u);
}

TEST_F(WalkTest, NoWayBackMeansTheFolderIsNotEntered)
{
    AddFile("C:\\D\\f");
    FailCall("GetCurrentDirectoryA", 1);
    EXPECT_TRUE(Walk("C:\\D").empty());
    EXPECT_EQ(CountOf("SetCurrentDirectoryA"), 0u);

    std::string deep = "C:\\" + Repeat('d', 300); /* longer than the buffer */
    SetCurrentDirectoryRaw(deep);
    ClearLog();
    PathList list;
    EXPECT_TRUE(CollectFolderContents("C:\\D", list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(CountOf("SetCurrentDirectoryA"), 0u);
    EXPECT_EQ(CurrentDirectory(), deep);
}

TEST_F(WalkTest, FolderWhosePathCannotBeReadGivesNothing)
{
    AddFile("C:\\D\\f");
    FailCall("GetCurrentDirectoryA", 2);
    EXPECT_TRUE(Walk("C:\\D").empty());
    EXPECT_EQ(CountOf("FindFirstFileA"), 0u);
}

TEST_F(WalkTest, UnfilledFullPathBufferIsNeverRecorded)
{
    AddFile("C:\\D\\a");
    AddFile("C:\\D\\b");
    AddFile("C:\\D\\c");
    FailCall("GetFullPathNameA", 2);
    EXPECT_EQ(Walk("C:\\D"), (std::vector<std::string>{"C:\\D\\a", "C:\\D\\c"}));
    FailAlways("GetFullPathNameA");
    EXPECT_TRUE(Walk("C:\\D").empty());
}

TEST_F(WalkTest, EntryLongerThanMaxPathIsNotRecorded)
{
    /* The folder's own path is 250 characters: it can be made current. */
    std::string folder = "C:\\" + Repeat('p', 247);
    AddFolder(folder);
    for (std::size_t total : {258u, 259u, 260u, 261u}) {
        std::string name = Repeat('n', total - folder.size() - 1);
        AddFile(folder + "\\" + name);
    }
    std::vector<std::string> walked = Walk(folder);
    std::vector<std::string> expected{folder + "\\" + Repeat('n', 7),
                                      folder + "\\" + Repeat('n', 8)};
    EXPECT_EQ(walked, expected) << "full paths of 258 and 259 characters fit, 260 and 261 not";
}

TEST_F(WalkTest, SubfolderTooDeepToEnterIsRecordedIfItsPathFits)
{
    std::string folder = "C:\\" + Repeat('p', 250); /* 253 characters */
    AddFile(folder + "\\abcde\\inner");             /* abcde: 259, cannot be made current */
    EXPECT_EQ(Walk(folder), std::vector<std::string>{folder + "\\abcde"});
}

TEST_F(WalkTest, NamesTheSystemWouldNormaliseAreNeitherRecordedNorEntered)
{
    AddFolder("C:\\D");
    AddFolderNamed("C:\\D", "a.");
    AddFileNamed("C:\\D\\a.", "in dotted");
    AddFile("C:\\D\\a\\x");
    AddFileNamed("C:\\D", "b ");
    AddFolderNamed("C:\\D", ".. ");
    AddFolderNamed("C:\\D", "c .");
    AddFile("C:\\D\\keep");
    /* "a." leads into "a", ".. " back to C:\ and "c ." nowhere: none is this folder's entry. */
    EXPECT_EQ(Walk("C:\\D"), (std::vector<std::string>{"C:\\D\\a\\x", "C:\\D\\a", "C:\\D\\keep"}));
}

TEST_F(WalkTest, DoubleByteNamesEndingInByte5C)
{
    SetCodePage932(true);
    const std::string table = "\x95\x5c"; /* its trail byte is 0x5C, no backslash */
    AddFile("C:\\D\\" + table + "\\f");
    AddFile("C:\\D\\" + table + "\\" + table);
    AddFile("E:\\" + table);
    EXPECT_EQ(Walk("C:\\D"),
              (std::vector<std::string>{"C:\\D\\" + table + "\\f", "C:\\D\\" + table + "\\" + table,
                                        "C:\\D\\" + table}));
    EXPECT_EQ(Walk("E:\\"), std::vector<std::string>{"E:\\" + table});
    EXPECT_FALSE(EndsWithBackslash(("C:\\" + table).c_str()));
    EXPECT_TRUE(EndsWithBackslash("C:\\"));
    EXPECT_TRUE(EndsWithBackslash(("C:\\" + table + "\\").c_str()));
}

TEST_F(WalkTest, RootEntriesCarryOneBackslash)
{
    AddFile("E:\\a");
    AddFile("E:\\S\\b");
    EXPECT_EQ(Walk("E:\\"), (std::vector<std::string>{"E:\\a", "E:\\S\\b", "E:\\S"}));
    EXPECT_EQ(Walk("E:"), (std::vector<std::string>{"E:\\a", "E:\\S\\b", "E:\\S"}));
}

TEST_F(WalkTest, ChildThatCannotFindItsWayBackStopsTheLevel)
{
    AddFile("C:\\D\\S\\g");
    AddFile("C:\\D\\f");
    /* 1 enters D, 2 enters S, 3 and its retry 4 fail to leave S, 5 restores C:\home. */
    FailCall("SetCurrentDirectoryA", 3);
    FailCall("SetCurrentDirectoryA", 4);
    EXPECT_EQ(Walk("C:\\D"), std::vector<std::string>{"C:\\D\\S\\g"});
    EXPECT_EQ(CountOf("FindClose"), 2u);
}

TEST_F(WalkTest, TopLevelThatCannotFindItsWayBackSaysSo)
{
    AddFile("C:\\D\\f");
    FailCallsFrom("SetCurrentDirectoryA", 2);
    PathList list;
    EXPECT_FALSE(CollectFolderContents("C:\\D", list));
    EXPECT_EQ(CountOf("SetCurrentDirectoryA"), 3u) << "one try and one retry";
}

TEST_F(WalkTest, MemoryExhaustionLeavesTheCurrentDirectoryAsItWas)
{
    AddFile("C:\\Deep folder\\first file with a long name.txt");
    AddFile("C:\\Deep folder\\Sub folder\\second file with a long name.txt");
    for (long nth = 1;; ++nth) {
        PathList list;
        FailAllocation(nth);
        bool threw = false;
        try {
            CollectFolderContents("C:\\Deep folder", list);
        } catch (const std::bad_alloc&) {
            threw = true;
        }
        bool failed = AllocationFailed();
        DisarmAllocation();
        EXPECT_EQ(threw, failed) << "allocation " << nth;
        EXPECT_EQ(CurrentDirectory(), "C:\\home") << "allocation " << nth;
        ASSERT_TRUE(SetCurrentDirectoryA("C:\\home"));
        EXPECT_EQ(OpenFindHandles(), 0) << "allocation " << nth;
        if (!failed)
            break;
        ASSERT_LT(nth, 500);
    }
}
