/* The stand-in's own conventions: the program's guards are only tested if the stand-in answers
   as the system does. */

#include "fixture.h"

#include <cstring>
#include <new>

using namespace standin;

class StandinTest : public HostTest
{
};

TEST_F(StandinTest, CurrentDirectoryReturnConventions)
{
    AddFolder("C:\\D");
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\D"));
    char buffer[8];
    memset(buffer, 'q', sizeof(buffer));
    EXPECT_EQ(GetCurrentDirectoryA(4, buffer), 5u) << "too small: size with terminator";
    EXPECT_EQ(buffer[0], 'q') << "nothing written when too small";
    EXPECT_EQ(GetCurrentDirectoryA(5, buffer), 4u);
    EXPECT_STREQ(buffer, "C:\\D");
    ASSERT_TRUE(SetCurrentDirectoryA(".."));
    EXPECT_EQ(CurrentDirectory(), "C:\\");
}

struct FullPathCase {
    const char* name;
    const char* expected;
};

TEST_F(StandinTest, FullPathNormalisesLikeTheSystem)
{
    AddFolder("C:\\D");
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\D"));
    const FullPathCase cases[] = {
        {"a", "C:\\D\\a"},
        {"a.", "C:\\D\\a"},
        {"a ", "C:\\D\\a"},
        {"a. .", "C:\\D\\a"},
        {"..", "C:\\"},
        {".. ", "C:\\"},
        {"...", "C:\\D\\..."},
        {".x", "C:\\D\\.x"},
        {"x\\..\\y", "C:\\D\\y"},
        {"C:\\\\*.*", "C:\\*.*"},
        {"\\WINDOWS", "C:\\WINDOWS"},
        {"E:a", "E:\\a"},
        {"a.\\b", "C:\\D\\a\\b"},
        {"sub\\", "C:\\D\\sub\\"},
    };
    for (const FullPathCase& c : cases) {
        char buffer[MAX_PATH];
        DWORD length = GetFullPathNameA(c.name, MAX_PATH, buffer, NULL);
        EXPECT_EQ(std::string(buffer, length), c.expected) << c.name;
    }
    char small[4];
    EXPECT_EQ(GetFullPathNameA("a", sizeof(small), small, NULL), 7u);
    EXPECT_EQ(GetFullPathNameA("", MAX_PATH, small, NULL), 0u);
}

TEST_F(StandinTest, CurrentDirectoryLimitIsMaxPathWithBackslash)
{
    std::string ok = "C:\\" + Repeat('a', 255);   /* 258 characters */
    std::string tooLong = ok + "\\b";             /* 260 */
    std::string edge = "C:\\" + Repeat('c', 256); /* 259: no room for the backslash */
    AddFolder(ok);
    AddFolder(tooLong);
    AddFolder(edge);
    EXPECT_TRUE(SetCurrentDirectoryA(ok.c_str()));
    EXPECT_FALSE(SetCurrentDirectoryA(tooLong.c_str()));
    EXPECT_FALSE(SetCurrentDirectoryA(edge.c_str()));
    EXPECT_EQ(CurrentDirectory(), ok);
}

TEST_F(StandinTest, ShortNames)
{
    AddFile("C:\\Long Folder\\a long name.text");
    AddFile("C:\\Long Folder\\a long nail.text");
    AddFile("C:\\short\\ok.txt");
    char buffer[MAX_PATH];
    DWORD n = GetShortPathNameA("C:\\Long Folder\\a long name.text", buffer, MAX_PATH);
    EXPECT_EQ(std::string(buffer, n), "C:\\LONGFO~1\\ALONGN~1.TEX");
    n = GetShortPathNameA("C:\\long folder\\A LONG NAIL.TEXT", buffer, MAX_PATH);
    EXPECT_EQ(std::string(buffer, n), "C:\\LONGFO~1\\ALONGN~2.TEX");
    n = GetShortPathNameA("C:\\short\\ok.txt", buffer, MAX_PATH);
    EXPECT_EQ(std::string(buffer, n), "C:\\short\\ok.txt");
    EXPECT_EQ(GetShortPathNameA("C:\\short\\missing.txt", buffer, MAX_PATH), 0u);
    EXPECT_EQ(GetShortPathNameA("C:\\short\\ok.txt", buffer, 5), 16u);
    SetShortName("C:\\short\\ok.txt", "SET.TXT");
    n = GetShortPathNameA("C:\\short\\ok.txt", buffer, MAX_PATH);
    EXPECT_EQ(std::string(buffer, n), "C:\\short\\SET.TXT");
}

TEST_F(StandinTest, CodePage932TrailByteIsNoSeparator)
{
    const std::string table = "\x95\x5c"; /* a kanji whose trail byte is 0x5C */
    SetCodePage932(true);
    AddFile("C:\\D\\" + table + "\\f");
    EXPECT_EQ(Entries("C:\\D"), std::vector<std::string>{table});
    ASSERT_TRUE(SetCurrentDirectoryA(("C:\\D\\" + table).c_str()));
    EXPECT_EQ(CurrentDirectory(), "C:\\D\\" + table);
    EXPECT_TRUE(IsDBCSLeadByte(0x95));
    EXPECT_TRUE(IsDBCSLeadByte(0xFC));
    EXPECT_FALSE(IsDBCSLeadByte(0xA0));
    SetCodePage932(false);
    EXPECT_FALSE(IsDBCSLeadByte(0x95));
}

TEST_F(StandinTest, EnumerationOrderDotsAndFaults)
{
    AddFile("C:\\D\\b");
    AddFile("C:\\D\\a");
    AddFolder("C:\\D\\S");
    SetOrder("C:\\D", {"S", "a"});
    WIN32_FIND_DATAA data;
    std::vector<std::string> names;
    HANDLE find = FindFirstFileA("C:\\D\\*.*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do
        names.push_back(data.cFileName);
    while (FindNextFileA(find, &data));
    FindClose(find);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "S", "a", "b"}));

    names.clear();
    find = FindFirstFileA("C:\\\\*.*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do
        names.push_back(data.cFileName);
    while (FindNextFileA(find, &data));
    FindClose(find);
    EXPECT_EQ(names, (std::vector<std::string>{"WINDOWS", "TEMP", "D"})) << "no dots at a root";

    StopEnumerationAfter("C:\\D", 1);
    find = FindFirstFileA("C:\\D\\*.*", &data);
    ASSERT_TRUE(FindNextFileA(find, &data)); /* .. */
    ASSERT_TRUE(FindNextFileA(find, &data));
    EXPECT_STREQ(data.cFileName, "S");
    EXPECT_FALSE(FindNextFileA(find, &data));
    FindClose(find);
}

TEST_F(StandinTest, MoveFileExRecordsPendingDeletions)
{
    AddFolder("C:\\D");
    SetCurrentDirectoryA("C:\\D");
    EXPECT_TRUE(MoveFileExA("a", NULL, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_TRUE(MoveFileExA("C:\\b", NULL, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(*PendingValue(), PendingDeletions({"C:\\D\\a", "C:\\b"}));
    SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_FALSE(MoveFileExA("C:\\c", NULL, MOVEFILE_DELAY_UNTIL_REBOOT));
}

TEST_F(StandinTest, TextFilesAndFullDisk)
{
    FILE* file = OpenTextFileForWriting("C:\\x.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(OpenTextFiles(), 1);
    fputs("hello", file);
    fflush(file);
    EXPECT_FALSE(DeleteFileA("C:\\x.txt")) << "an open file cannot be deleted";
    SetWriteBudget(3);
    fputs("world", file);
    EXPECT_NE(fflush(file), 0);
    EXPECT_TRUE(ferror(file));
    fclose(file);
    EXPECT_EQ(*FileBytes("C:\\x.txt"), "hellowor");

    FailReadAfter("C:\\x.txt", 4);
    file = OpenTextFileForReading("C:\\x.txt");
    ASSERT_NE(file, nullptr);
    std::string read;
    int c;
    while ((c = getc(file)) != EOF)
        read += (char)c;
    EXPECT_EQ(read, "hell");
    EXPECT_TRUE(ferror(file));
    fclose(file);
    EXPECT_EQ(OpenTextFiles(), 0);
    EXPECT_EQ(OpenTextFileForReading("C:\\missing.txt"), nullptr);
}

TEST_F(StandinTest, RegistryQueriesFollowTheirConventions)
{
    SetPendingValue(PendingDeletions({"C:\\a"}));
    HKEY key = NULL;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                            KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "PendingFileRenameOperations", NULL, NULL, NULL, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 11u);
    BYTE data[16];
    DWORD small = 4;
    EXPECT_EQ(RegQueryValueExA(key, "PendingFileRenameOperations", NULL, NULL, data, &small),
              ERROR_MORE_DATA);
    EXPECT_EQ(small, 11u);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(StandinTest, FaultInjectionCountsFromTheArming)
{
    char buffer[MAX_PATH];
    GetWindowsDirectoryA(buffer, MAX_PATH);
    FailCall("GetWindowsDirectoryA", 2);
    EXPECT_NE(GetWindowsDirectoryA(buffer, MAX_PATH), 0u);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), 0u);
    EXPECT_NE(GetWindowsDirectoryA(buffer, MAX_PATH), 0u);
}

TEST_F(StandinTest, AllocationFailureHitsTheNthAllocation)
{
    FailAllocation(2);
    int* first = new int(1);
    EXPECT_THROW(new int(2), std::bad_alloc);
    int* third = new (std::nothrow) int(3);
    EXPECT_NE(third, nullptr);
    EXPECT_TRUE(AllocationFailed());
    delete first;
    delete third;
    FailAllocation(1);
    EXPECT_EQ(new (std::nothrow) char[4], nullptr);
    DisarmAllocation();
}
