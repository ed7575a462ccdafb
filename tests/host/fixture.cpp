#include "fixture.h"

void HostTest::SetUp()
{
    standin::Reset();
    g_hPendingList = NULL;
    g_hInstance = NULL;
}

void HostTest::TearDown()
{
    standin::DisarmAllocation();
    EXPECT_EQ(standin::OpenFindHandles(), 0) << "find handles left open";
    EXPECT_EQ(standin::OpenKeys(), 0) << "registry keys left open";
    EXPECT_EQ(standin::OpenTextFiles(), 0) << "text files left open";
}

std::vector<std::string> HostTest::Recorded()
{
    return standin::ArgsOf("MoveFileExA");
}

std::string CrLf(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string Repeat(char c, std::size_t n)
{
    return std::string(n, c);
}

std::string Describe(const std::vector<standin::Call>& calls)
{
    std::string text;
    for (const standin::Call& call : calls)
        text += call.fn + "(" + call.arg + (call.arg2.empty() ? "" : ", " + call.arg2) + ") ";
    return text;
}
