/* The pending list: emptied and refilled on every refresh; the registry value's walk. */

#include "fixture.h"

#include <memory>

using namespace standin;

namespace
{

using S = std::string;

struct WalkCase {
    const char* name;
    std::string data;
    std::vector<std::string> items;
};

} // namespace

class PendingTest : public HostTest
{
  protected:
    void SetUp() override
    {
        HostTest::SetUp();
        g_hPendingList = ListBox();
    }
};

TEST_F(PendingTest, WalkTable)
{
    const WalkCase cases[] = {
        {"no data", S(), {}},
        {"one NUL", S(1, '\0'), {}},
        {"two NULs", S(2, '\0'), {}},
        {"three deletions",
         PendingDeletions({"C:\\a.txt", "C:\\Program Files\\b", "D:\\c"}),
         {"C:\\a.txt", "C:\\Program Files\\b", "D:\\c"}},
        {"no prefix", S("C:\\a\0\0\0", 7), {"C:\\a"}},
        {"prefix further in", S("x\\??\\y\0\0\0", 9), {"x\\??\\y"}},
        {"prefix alone", S("\\??\\\0\0\0", 7), {""}},
        {"shorter than the prefix", S("\\?\0\0\0", 5), {"\\?"}},
        {"a rename is not listed", S("\\??\\a\0\\??\\b\0\\??\\c\0\0\0", 19), {"c"}},
        {"rename last", S("\\??\\c\0\0\\??\\a\0\\??\\b\0\0", 18), {"c"}},
        {"source not terminated", S("\\??\\a", 5), {}},
        {"destination missing", S("\\??\\a\0", 6), {}},
        {"second source not terminated", S("\\??\\a\0\0\\??\\b", 12), {"a"}},
        {"second destination missing", S("\\??\\a\0\0\\??\\b\0", 13), {"a"}},
        {"destination not terminated", S("\\??\\a\0x", 7), {}},
        {"no closing NUL", S("\\??\\a\0\0", 7), {"a"}},
        {"empty source ends the walk", S("\\??\\a\0\0\0\\??\\b\0\0\0", 15), {"a"}},
    };
    for (const WalkCase& c : cases) {
        SetListBoxItems({});
        /* An exact-size block: a read past the data is a sanitizer error. */
        std::unique_ptr<char[]> data(new char[c.data.size()]);
        c.data.copy(data.get(), c.data.size());
        ListPendingDeletions(data.get(), (DWORD)c.data.size());
        EXPECT_EQ(ListBoxItems(), c.items) << c.name;
    }
}

TEST_F(PendingTest, ReadsTheValueInTwoQueriesAndClosesTheKeyFirst)
{
    const std::string data = PendingDeletions({"C:\\a", "C:\\b"});
    SetPendingValue(data);
    ReadPendingRenameOperations();
    EXPECT_EQ(ListBoxItems(), (std::vector<std::string>{"C:\\a", "C:\\b"}));

    std::vector<Call> open = CallsTo("RegOpenKeyExA");
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].arg, "SYSTEM\\CurrentControlSet\\Control\\Session Manager");
    EXPECT_EQ(open[0].arg2, "HKLM");
    EXPECT_EQ(open[0].n1, 0);
    EXPECT_EQ(open[0].n2, KEY_QUERY_VALUE);
    EXPECT_EQ(open[0].n3, 1) << "the key handle is preset to null";

    std::vector<Call> queries = CallsTo("RegQueryValueExA");
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].arg, "PendingFileRenameOperations");
    EXPECT_EQ(queries[0].n1, 0) << "no buffer";
    EXPECT_EQ(queries[0].n2, 0) << "size preset to 0";
    EXPECT_EQ(queries[1].n1, 1);
    EXPECT_EQ(queries[1].n2, (long long)data.size()) << "capacity: the reported size";

    EXPECT_EQ(Sequence({"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey", "SendMessageA"}),
              (std::vector<std::string>{"RegOpenKeyExA", "RegQueryValueExA", "RegQueryValueExA",
                                        "RegCloseKey", "SendMessageA", "SendMessageA"}));
}

TEST_F(PendingTest, NothingListedWhenTheStoreIsAbsentOrEmpty)
{
    ReadPendingRenameOperations();
    EXPECT_TRUE(ListBoxItems().empty());
    EXPECT_EQ(CountOf("RegQueryValueExA"), 1u);
    EXPECT_EQ(CountOf("RegCloseKey"), 1u);

    ClearLog();
    SetPendingValue(S());
    ReadPendingRenameOperations();
    EXPECT_EQ(CountOf("RegQueryValueExA"), 1u) << "a size of 0 needs no second query";

    ClearLog();
    SetPendingValue(PendingDeletions({"C:\\a"}));
    SetSessionManagerKeyMissing(true);
    ReadPendingRenameOperations();
    EXPECT_TRUE(ListBoxItems().empty());
    std::vector<Call> queries = CallsTo("RegQueryValueExA");
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].n3, 0) << "made with the null handle";
    EXPECT_EQ(CountOf("RegCloseKey"), 1u);
}

TEST_F(PendingTest, ValueThatGrowsBetweenTheQueriesListsNothing)
{
    SetPendingValue(PendingDeletions({"C:\\a"}));
    SetPendingValueAfterSizeQuery(PendingDeletions({"C:\\a", "C:\\b"}));
    ReadPendingRenameOperations();
    EXPECT_TRUE(ListBoxItems().empty());
    EXPECT_EQ(CountOf("RegCloseKey"), 1u);
}

TEST_F(PendingTest, ValueThatShrinksIsWalkedOnlyAsFarAsDelivered)
{
    SetPendingValue(PendingDeletions({"C:\\first", "C:\\second"}));
    SetPendingValueAfterSizeQuery(S("\\??\\C:\\a\0\0", 10)); /* without its closing NUL */
    ReadPendingRenameOperations();
    EXPECT_EQ(ListBoxItems(), std::vector<std::string>{"C:\\a"});
}

TEST_F(PendingTest, NoBufferNoListButTheKeyIsClosed)
{
    SetPendingValue(PendingDeletions({"C:\\a"}));
    FailAllocation(1);
    ReadPendingRenameOperations();
    EXPECT_TRUE(AllocationFailed());
    DisarmAllocation();
    EXPECT_TRUE(ListBoxItems().empty());
    EXPECT_EQ(CountOf("RegQueryValueExA"), 1u);
    EXPECT_EQ(CountOf("RegCloseKey"), 1u);
}

TEST_F(PendingTest, RefreshEmptiesAFullListFirst)
{
    SetListBoxItems({"one", "two", "three", "four", "five"});
    SetPendingValue(PendingDeletions({"C:\\x"}));
    RefreshPendingList();
    EXPECT_EQ(ListBoxItems(), std::vector<std::string>{"C:\\x"});
    std::vector<Call> messages = CallsTo("SendMessageA");
    ASSERT_EQ(messages.size(), 7u);
    EXPECT_EQ(messages[0].arg, "LB_GETCOUNT");
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(messages[i].arg, "LB_DELETESTRING");
        EXPECT_EQ(messages[i].n1, 0) << "always index 0";
    }
    EXPECT_EQ(messages[6].arg, "LB_ADDSTRING");
    for (const Call& message : messages)
        EXPECT_EQ(message.n3, 1) << "sent to the list box";
    std::vector<std::string> order = Sequence({"SendMessageA", "GetVersionExA", "RegOpenKeyExA"});
    EXPECT_EQ(order[6], "GetVersionExA") << "the family is asked after emptying";
    EXPECT_EQ(order[7], "RegOpenKeyExA");

    SetPendingValue(std::nullopt);
    RefreshPendingList();
    EXPECT_TRUE(ListBoxItems().empty()) << "no value: the list ends empty";
}

TEST_F(PendingTest, TwoRefreshesShowEachEntryOnce)
{
    SetPendingValue(PendingDeletions({"C:\\a", "C:\\b"}));
    RefreshPendingList();
    RefreshPendingList();
    EXPECT_EQ(ListBoxItems(), (std::vector<std::string>{"C:\\a", "C:\\b"}));
}

TEST_F(PendingTest, FailingListMessagesCostOnlyTheirOwnItem)
{
    SetListBoxItems({"old"});
    FailCall("SendMessageA", 1); /* LB_GETCOUNT answers LB_ERR */
    SetPendingValue(PendingDeletions({"C:\\a", "C:\\b", "C:\\c"}));
    RefreshPendingList();
    EXPECT_EQ(CountOf("SendMessageA"), 4u) << "no LB_DELETESTRING for a negative count";
    SetListBoxItems({});
    FailCall("SendMessageA", 3); /* LB_GETCOUNT, then the first and second LB_ADDSTRING */
    RefreshPendingList();
    EXPECT_EQ(ListBoxItems(), (std::vector<std::string>{"C:\\a", "C:\\c"}));
}

TEST_F(PendingTest, RecordedDeletionsShowOnTheNtFamily)
{
    AddFile("C:\\D\\f");
    AddFile("C:\\g");
    SetPendingValue(S("\\??\\C:\\x\0\\??\\C:\\y\0\0", 19)); /* another program's rename */
    ScheduleDeletion("C:\\D");
    ScheduleDeletion("C:\\g");
    RefreshPendingList();
    EXPECT_EQ(ListBoxItems(), (std::vector<std::string>{"C:\\D\\f", "C:\\D", "C:\\g"}));
}

TEST_F(PendingTest, NinexFamilyReadsWininitAndNeverTheRegistry)
{
    SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    SetPendingValue(PendingDeletions({"C:\\reg"}));
    AddFile("C:\\WINDOWS\\WININIT.INI", "[rename]\r\nNUL=C:\\OLD\r\n");
    SetListBoxItems({"stale"});
    RefreshPendingList();
    EXPECT_EQ(ListBoxItems(), std::vector<std::string>{"C:\\OLD"});
    EXPECT_EQ(CountOf("RegOpenKeyExA"), 0u);
}
