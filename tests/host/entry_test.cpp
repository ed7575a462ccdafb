/* Program entry: deriving the argument string, splitting it, and WinMain's two courses. */

#include "fixture.h"

#include <cstring>

using namespace standin;

namespace
{

std::vector<std::string> g_paths;
std::vector<std::ptrdiff_t> g_offsets;
const char* g_buffer = nullptr;
std::size_t g_bufferSize = 0;
std::vector<std::string> g_restAtCall;

void Collect(const char* path)
{
    g_paths.push_back(path);
    g_offsets.push_back(path - g_buffer);
    /* What is still uncut behind this path when it is handed on. */
    const char* end = path + strlen(path);
    bool more = (std::size_t)(end - g_buffer) + 1 < g_bufferSize;
    g_restAtCall.push_back(more ? std::string(end + 1) : "");
}

struct SplitCase {
    const char* args;
    std::vector<std::string> paths;
};

} // namespace

class SplitTest : public HostTest
{
  protected:
    BOOL Split(const std::string& args)
    {
        g_paths.clear();
        g_offsets.clear();
        g_restAtCall.clear();
        buffer_.assign(args.begin(), args.end());
        buffer_.push_back('\0');
        g_buffer = buffer_.data();
        g_bufferSize = buffer_.size();
        return SplitArgumentString(buffer_.data(), Collect);
    }
    std::vector<char> buffer_;
};

TEST_F(SplitTest, SplitsByTheTable)
{
    const SplitCase cases[] = {
        {"", {}},
        {"   ", {}},
        {"x y", {"x", "y"}},
        {"x  y  ", {"x", "y"}},
        {"\"x y\" z", {"x y", "z"}},
        {"\"x y\"z", {"x y", "z"}},
        {"\"x\"\"y\"", {"x", "y"}},
        {"\"x y", {"x y"}},
        {"\"\"", {""}},
        {"x \"", {"x", ""}},
        {"\"", {""}},
        {"x\"y z\"", {"x\"y", "z\""}},
        {"x\ty", {"x\ty"}},
        {"x \t y", {"x", "\t", "y"}},
        {"x x", {"x", "x"}},
        {"\"a b\" \"\" c", {"a b", "", "c"}},
        {"\"C:\\Program Files\\a b.txt\"   C:\\x.txt", {"C:\\Program Files\\a b.txt", "C:\\x.txt"}},
        {"\x95\x20x", {"\x95", "x"}}, /* bytes, not characters: a DBCS pair is no unit here */
    };
    for (const SplitCase& c : cases) {
        BOOL handedOn = Split(c.args);
        EXPECT_EQ(g_paths, c.paths) << "args [" << c.args << "]";
        EXPECT_EQ(handedOn, c.paths.empty() ? FALSE : TRUE) << "args [" << c.args << "]";
    }
}

TEST_F(SplitTest, CutsInPlaceAndHandsOnEachPathAsSoonAsItIsCut)
{
    Split("ab \"c d\" e");
    EXPECT_EQ(g_offsets, (std::vector<std::ptrdiff_t>{0, 4, 9}));
    /* When "ab" is handed on, the rest of the string is not cut yet. */
    EXPECT_EQ(g_restAtCall[0], "\"c d\" e");
    EXPECT_EQ(std::string(buffer_.data(), buffer_.size()), std::string("ab\0\"c d\0 e\0", 11));
}

struct DeriveCase {
    const char* commandLine;
    const char* args;
    bool codePage932;
};

class DeriveTest : public HostTest
{
};

TEST_F(DeriveTest, ArgumentStringFollowsTheProgramName)
{
    const DeriveCase cases[] = {
        {"VORNEL.EXE", "", false},
        {"", "", false},
        {"VORNEL.EXE a b", "a b", false},
        {"VORNEL.EXE \t  a  ", "a  ", false},
        {"VORNEL.EXE\ta", "a", false},
        {"VORNEL.EXE\x01\x02\x1f a", "a", false},
        {"\"C:\\Program Files\\VORNEL.EXE\" a", "a", false},
        {"\"C:\\VORNEL.EXE\"x y", "x y", false},
        {"\"C:\\VORNEL.EXE\"\"x\"", "\"x\"", false},
        {"\"C:\\VORNEL.EXE", "", false},
        {"\"", "", false},
        {"\"\" a", "a", false},
        {" a", "a", false},
        {"\tx", "x", false},
        {"V\xe9RNEL.EXE a", "a", false},
        {"VORNEL.EXE\xa0x y", "y", false}, /* 0xA0 is above 0x20: part of the name */
        {"\xff", "", false},
        /* A lead byte takes the next byte along, even a quote. */
        {"\"C:\\\x81\" x\" y", "y", true},
        {"\"C:\\\x81\" x\" y", "x\" y", false},
        {"\"C:\\\x95\\\\VORNEL.EXE\" a", "a", true},
        {"\"ab\x81", "", true}, /* a lead byte at the very end */
    };
    for (const DeriveCase& c : cases) {
        SetCodePage932(c.codePage932);
        std::vector<char> buffer(c.commandLine, c.commandLine + strlen(c.commandLine) + 1);
        char* args = FindArgumentString(buffer.data());
        ASSERT_GE(args, buffer.data());
        ASSERT_LT(args, buffer.data() + buffer.size());
        EXPECT_STREQ(args, c.args) << "command line [" << c.commandLine << "]";
    }
}

struct WinMainCase {
    const char* commandLine;
    std::vector<std::string> scheduled;
    bool dialog;
};

class WinMainTest : public HostTest
{
};

TEST_F(WinMainTest, SchedulesThePathsOrRunsTheDialog)
{
    const WinMainCase cases[] = {
        {"VORNEL.EXE", {}, true},
        {"VORNEL.EXE  \t \x01", {}, true},
        {"\"C:\\Program Files\\VORNEL.EXE\"", {}, true},
        {"\"C:\\Program Files\\VORNEL.EXE\"  ", {}, true},
        {"VORNEL.EXE C:\\a.txt \"C:\\b c.txt\"", {"C:\\a.txt", "C:\\b c.txt"}, false},
        {"\"C:\\Program Files\\VORNEL.EXE\"C:\\a.txt", {"C:\\a.txt"}, false},
        {"VORNEL.EXE \"\"", {""}, false},
        {"VORNEL.EXE C:\\a.txt C:\\a.txt", {"C:\\a.txt", "C:\\a.txt"}, false},
        {"VORNEL.EXE\tC:\\a.txt\tC:\\b", {"C:\\a.txt\tC:\\b"}, false},
    };
    HINSTANCE instance = (HINSTANCE)(uintptr_t)0x400000;
    for (const WinMainCase& c : cases) {
        Reset();
        AddFile("C:\\a.txt");
        SetCommandLine(c.commandLine);
        EXPECT_EQ(WinMain(instance, NULL, (LPSTR) "ignored by the program", 1), 0);
        EXPECT_EQ(g_hInstance, instance);
        EXPECT_EQ(Recorded(), c.scheduled) << c.commandLine;
        std::vector<Call> dialogs = CallsTo("DialogBoxParamA");
        ASSERT_EQ(dialogs.size(), c.dialog ? 1u : 0u) << c.commandLine;
        if (c.dialog) {
            EXPECT_EQ(dialogs[0].arg, "#101");
            EXPECT_EQ(dialogs[0].n1, (long long)(uintptr_t)instance);
            EXPECT_EQ(dialogs[0].n2, 0) << "no owner";
            EXPECT_EQ(dialogs[0].n3, 0) << "initialisation value";
            EXPECT_EQ(dialogs[0].n4, (long long)(uintptr_t)&MainDialogProc);
        }
        EXPECT_EQ(CommandLineBuffer(), c.commandLine) << "the process's command line is not cut";
    }
}

TEST_F(WinMainTest, ReturnsZeroWhenTheDialogFails)
{
    FailAlways("DialogBoxParamA");
    EXPECT_EQ(WinMain(NULL, NULL, NULL, 0), 0);
    EXPECT_EQ(CountOf("DialogBoxParamA"), 1u);
}

TEST_F(WinMainTest, EachPathIsCompleteBeforeTheNext)
{
    AddFile("C:\\D\\f");
    AddFile("C:\\g");
    SetCommandLine("VORNEL.EXE C:\\D C:\\g C:\\D");
    EXPECT_EQ(WinMain(NULL, NULL, NULL, 0), 0);
    EXPECT_EQ(Recorded(),
              (std::vector<std::string>{"C:\\D\\f", "C:\\D", "C:\\g", "C:\\D\\f", "C:\\D"}));
    EXPECT_EQ(CountOf("DialogBoxParamA"), 0u);
}

TEST_F(WinMainTest, MemoryExhaustionCostsAtMostOneRequest)
{
    for (long nth = 2;; ++nth) {
        Reset();
        AddFile("C:\\D\\file number one.txt");
        AddFile("C:\\D\\S\\file number two.txt");
        AddFile("C:\\g.txt");
        SetCommandLine("VORNEL.EXE C:\\D C:\\g.txt");
        FailAllocation(nth);
        EXPECT_EQ(WinMain(NULL, NULL, NULL, 0), 0);
        bool failed = AllocationFailed();
        DisarmAllocation();
        std::vector<std::string> recorded = Recorded();
        ASSERT_FALSE(recorded.empty()) << "allocation " << nth;
        EXPECT_EQ(recorded.back(), "C:\\g.txt") << "allocation " << nth;
        EXPECT_EQ(CurrentDirectory(), "C:\\");
        EXPECT_EQ(OpenFindHandles(), 0);
        if (!failed) {
            EXPECT_EQ(recorded.size(), 5u);
            break;
        }
        EXPECT_TRUE(recorded.size() == 1 || recorded.size() == 5) << "allocation " << nth;
        ASSERT_LT(nth, 200);
    }
}
