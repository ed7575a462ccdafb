/* The main dialog procedure: opening, commands and drops. */

#include "fixture.h"
#include "resource.h"

using namespace standin;

class DialogTest : public HostTest
{
  protected:
    void SetUp() override
    {
        HostTest::SetUp();
        g_hInstance = (HINSTANCE)(uintptr_t)0x400000;
    }

    static INT_PTR Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return MainDialogProc(Dialog(), message, wParam, lParam);
    }
};

TEST_F(DialogTest, OpeningInSevenSteps)
{
    SetPendingValue(PendingDeletions({"C:\\a", "C:\\b"}));
    EXPECT_EQ(Send(WM_INITDIALOG), FALSE);

    std::vector<Call> icons = CallsTo("LoadImageA");
    ASSERT_EQ(icons.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(icons[i].n1, (long long)(uintptr_t)g_hInstance);
        EXPECT_EQ(icons[i].arg, "#32");
        EXPECT_EQ(icons[i].n2, IMAGE_ICON);
        EXPECT_EQ(icons[i].arg2, "0") << "LR_DEFAULTCOLOR";
    }
    EXPECT_EQ(icons[0].n3, 16);
    EXPECT_EQ(icons[0].n4, 16);
    EXPECT_EQ(icons[1].n3, 32);
    EXPECT_EQ(icons[1].n4, 32);

    std::vector<Call> messages = CallsTo("SendMessageA");
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages[0].arg, "WM_SETICON");
    EXPECT_EQ(messages[0].n1, ICON_BIG);
    EXPECT_EQ(messages[0].n3, 2) << "sent to the dialog";
    EXPECT_EQ(messages[1].arg, "WM_SETICON");
    EXPECT_EQ(messages[1].n1, ICON_SMALL);
    EXPECT_EQ(DialogIcon(ICON_BIG), Icon32());
    EXPECT_EQ(DialogIcon(ICON_SMALL), Icon16());
    EXPECT_EQ(messages[2].arg, "LB_GETCOUNT");
    EXPECT_EQ(messages[2].n3, 1) << "the list handle was stored before the refresh";

    std::vector<Call> items = CallsTo("GetDlgItem");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].n1, IDC_PENDING_LIST);
    EXPECT_EQ(items[0].n2, 1);
    EXPECT_EQ(g_hPendingList, ListBox());

    EXPECT_EQ(Sequence({"LoadImageA", "SendMessageA", "GetDlgItem", "GetVersionExA"}),
              (std::vector<std::string>{"LoadImageA", "LoadImageA", "SendMessageA", "SendMessageA",
                                        "GetDlgItem", "SendMessageA", "GetVersionExA",
                                        "SendMessageA", "SendMessageA"}));
    EXPECT_EQ(ListBoxItems(), (std::vector<std::string>{"C:\\a", "C:\\b"}));
}

TEST_F(DialogTest, FailedIconLoadsStillSetNullIcons)
{
    FailAlways("LoadImageA");
    EXPECT_EQ(Send(WM_INITDIALOG), FALSE);
    std::vector<Call> messages = CallsTo("SendMessageA");
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0].n2, 0);
    EXPECT_EQ(messages[1].n2, 0);
    EXPECT_EQ(g_hPendingList, ListBox());
}

TEST_F(DialogTest, OnlyOkAndCancelEndTheDialog)
{
    struct Case {
        WPARAM wParam;
        bool ends;
    };
    const Case cases[] = {
        {IDOK, true},
        {IDCANCEL, true},
        {(1u << 16) | IDOK, true},
        {(5u << 16) | IDCANCEL, true},
        {0, false},
        {3, false},
        {IDC_PENDING_LIST, false},
        {(1u << 16) | 1000, false},
        {IDOK << 16, false},
    };
    for (const Case& c : cases) {
        ClearLog();
        EXPECT_EQ(Send(WM_COMMAND, c.wParam, 12345), c.ends ? TRUE : FALSE) << c.wParam;
        std::vector<Call> ends = CallsTo("EndDialog");
        ASSERT_EQ(ends.size(), c.ends ? 1u : 0u) << c.wParam;
        if (c.ends) {
            EXPECT_EQ(ends[0].n1, 1);
            EXPECT_EQ(ends[0].n2, 0) << "result 0";
        }
    }
}

TEST_F(DialogTest, OtherMessagesAreLeftToTheSystem)
{
    for (UINT message : {0x0000u, 0x0080u, 0x0010u, 0x0200u, 0x0113u})
        EXPECT_EQ(Send(message, 1, 1), FALSE) << message;
    EXPECT_EQ(CountOf("EndDialog"), 0u);
}

TEST_F(DialogTest, DropSchedulesInIndexOrderAndRefreshesOnceAfterDragFinish)
{
    AddFile("C:\\one");
    AddFile("C:\\two");
    AddFile("C:\\three");
    Send(WM_INITDIALOG);
    ClearLog();
    HDROP drop = SetDrop({"C:\\one", "C:\\two", "C:\\three"});
    EXPECT_EQ(Send(WM_DROPFILES, (WPARAM)drop), TRUE);
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"C:\\one", "C:\\two", "C:\\three"}));
    EXPECT_TRUE(DropFinished());
    std::vector<std::string> order = Sequence({"MoveFileExA", "DragFinish", "RegOpenKeyExA"});
    EXPECT_EQ(order, (std::vector<std::string>{"MoveFileExA", "MoveFileExA", "MoveFileExA",
                                               "DragFinish", "RegOpenKeyExA"}));
    std::vector<Call> queries = CallsTo("DragQueryFileA");
    ASSERT_EQ(queries.size(), 4u);
    EXPECT_EQ(queries[0].n1, 0xFFFFFFFF);
    EXPECT_EQ(queries[0].n3, 0) << "no buffer for the count";
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(queries[i].n1, (long long)i - 1);
        EXPECT_EQ(queries[i].n2, MAX_PATH);
    }
    EXPECT_EQ(ListBoxItems(), (std::vector<std::string>{"C:\\one", "C:\\two", "C:\\three"}));
}

TEST_F(DialogTest, DroppedFolderIsCompleteBeforeTheNextItem)
{
    AddFile("C:\\D\\f");
    AddFile("C:\\D\\S\\g");
    AddFile("C:\\file");
    g_hPendingList = ListBox();
    HDROP drop = SetDrop({"C:\\D", "C:\\file"});
    EXPECT_EQ(Send(WM_DROPFILES, (WPARAM)drop), TRUE);
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"C:\\D\\f", "C:\\D\\S\\g", "C:\\D\\S", "C:\\D",
                                                    "C:\\file"}));
    EXPECT_EQ(CountOf("RegOpenKeyExA"), 1u);
    EXPECT_EQ(ListBoxItems().size(), 5u);
}

TEST_F(DialogTest, IndexWhoseQueryCopiesNothingIsSkipped)
{
    AddFile("C:\\a");
    AddFile("C:\\b");
    AddFile("C:\\c");
    g_hPendingList = ListBox();
    FailCall("DragQueryFileA", 3); /* 1: the count, 2: index 0, 3: index 1 */
    HDROP drop = SetDrop({"C:\\a", "C:\\b", "C:\\c"});
    EXPECT_EQ(Send(WM_DROPFILES, (WPARAM)drop), TRUE);
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"C:\\a", "C:\\c"}));
    EXPECT_TRUE(DropFinished());
}

TEST_F(DialogTest, EmptyDropStillFinishesAndRefreshes)
{
    g_hPendingList = ListBox();
    SetListBoxItems({"stale"});
    HDROP drop = SetDrop({});
    EXPECT_EQ(Send(WM_DROPFILES, (WPARAM)drop), TRUE);
    EXPECT_TRUE(DropFinished());
    EXPECT_TRUE(ListBoxItems().empty());
}

TEST_F(DialogTest, WholeRunFromWinMain)
{
    AddFile("C:\\dropped.txt");
    HDROP drop = SetDrop({"C:\\dropped.txt"});
    SetDialogScript({{WM_DROPFILES, (WPARAM)drop, 0}, {WM_COMMAND, IDOK, 0}});
    EXPECT_EQ(WinMain(g_hInstance, NULL, NULL, 1), 0);
    EXPECT_TRUE(DialogEnded());
    EXPECT_EQ(Recorded(), std::vector<std::string>{"C:\\dropped.txt"});
    EXPECT_EQ(ListBoxItems(), std::vector<std::string>{"C:\\dropped.txt"});
    EXPECT_EQ(CountOf("RegOpenKeyExA"), 2u) << "at the opening and after the drop";
}
