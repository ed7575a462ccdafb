/* The WININIT.INI reader: it lists exactly the deletion entries of the rename sections, and
   after a rewrite every new entry shows at the end of each section's items (or, in a file
   without a section, in the one the rewrite added).
   Input: flags (bit 0: code page 932, bit 1: WININIT.INI exists), the list length (low 2 bits)
   and one byte per list entry of the rewrite, then the file's bytes. */

#include "fuzz_support.h"

using namespace fuzz;

namespace
{

std::vector<std::string> Read()
{
    standin::SetListBoxItems({});
    ReadWininitRenameSection();
    return standin::ListBoxItems();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input(data, size);
    uint8_t flags = input.Byte();
    bool cp932 = (flags & 1) != 0;
    bool exists = (flags & 2) != 0;
    PathList list;
    for (int n = input.Byte() & 3; n > 0; --n)
        list.push_back(kItems[input.Byte() % kItemCount]);
    std::string bytes = input.Rest();

    standin::Reset();
    standin::SetCodePage932(cp932);
    standin::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    BuildVolume();
    if (exists)
        standin::AddFile(kWininit, bytes);
    g_hPendingList = standin::ListBox();

    std::vector<std::string> expected;
    std::vector<Section> sections;
    if (exists) {
        sections = ModelSections(ModelLines(bytes));
        expected = ModelItems(bytes);
    }
    std::vector<std::string> items = Read();
    if (items != expected) {
        fprintf(stderr, "file: %s\n", exists ? Printable(bytes).c_str() : "(none)");
        ShowList("expected", expected);
        ShowList("listed", items);
    }
    FUZZ_CHECK(items == expected, "the reader lists the model's entries");
    FUZZ_CHECK(standin::FileBytes(kWininit) ==
                   (exists ? std::optional<std::string>(bytes) : std::nullopt),
               "reading leaves the file alone");

    /* Rewrite, then read: each section's items, each followed by the new entries. */
    const char* own = "C:\\DATA\\F.TXT";
    std::vector<std::string> newItems;
    for (const std::string& line : NewEntryLines(own, list))
        newItems.push_back(line.substr(4));
    ScheduleInWininit(own, &list);

    std::vector<std::string> expectedAfter;
    for (const Section& section : sections) {
        expectedAfter.insert(expectedAfter.end(), section.items.begin(), section.items.end());
        expectedAfter.insert(expectedAfter.end(), newItems.begin(), newItems.end());
    }
    if (sections.empty())
        expectedAfter = newItems;
    std::vector<std::string> after = Read();
    if (after != expectedAfter) {
        fprintf(stderr, "file: %s\n", exists ? Printable(bytes).c_str() : "(none)");
        ShowList("new items", newItems);
        ShowList("expected after the rewrite", expectedAfter);
        ShowList("listed after the rewrite", after);
    }
    FUZZ_CHECK(after == expectedAfter,
               "the reader finds the new entries where the rewrite put them");
    FUZZ_CHECK(standin::OpenTextFiles() == 0 && standin::OpenFindHandles() == 0,
               "files and find handles closed");
    return 0;
}
