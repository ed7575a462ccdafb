/* The WININIT.INI rewrite: any existing bytes (or no file), any request over the items of the
   simulated volume, optionally a full disk. The result must be the model's byte for byte: the
   former lines with CR LF ends, and the new entries at the end of every rename section (or in a
   section of their own). A full disk must leave the former bytes exactly.
   Input: flags (bit 0: code page 932, bit 1: WININIT.INI exists, bit 2: full disk, bits 3-7:
   the request's own item), the list length (low 3 bits) and one byte per list entry, the disk's
   room in bytes if full, then the file's bytes. */

#include "fuzz_support.h"

#include <algorithm>

using namespace fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input(data, size);
    uint8_t flags = input.Byte();
    bool cp932 = (flags & 1) != 0;
    bool exists = (flags & 2) != 0;
    bool fullDisk = (flags & 4) != 0;
    const char* own = kItems[(flags >> 3) % kItemCount];
    PathList list;
    for (int n = input.Byte() & 7; n > 0; --n)
        list.push_back(kItems[input.Byte() % kItemCount]);
    size_t room = fullDisk ? input.Byte() : 0;
    std::optional<std::string> before;
    if (exists)
        before = input.Rest();

    standin::Reset();
    standin::SetCodePage932(cp932);
    standin::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    BuildVolume();
    if (before)
        standin::AddFile(kWininit, *before);

    std::vector<std::string> entries = NewEntryLines(own, list);
    std::optional<std::string> expected = ModelRewrite(before, entries);
    if (fullDisk && expected && expected->size() > room && expected != before)
        expected = before; /* the rewrite fails and the former contents come back */
    if (fullDisk)
        standin::SetWriteBudget(room);

    ScheduleInWininit(own, &list);

    std::optional<std::string> after = standin::FileBytes(kWininit);
    if (after != expected) {
        fprintf(stderr, "own [%s], room %zu%s\n", own, room, fullDisk ? "" : " (unlimited)");
        ShowList("list", std::vector<std::string>(list.begin(), list.end()));
        ShowList("new entries", entries);
        fprintf(stderr, "before:   %s\n", before ? Printable(*before).c_str() : "(no file)");
        fprintf(stderr, "expected: %s\n", expected ? Printable(*expected).c_str() : "(no file)");
        fprintf(stderr, "actual:   %s\n", after ? Printable(*after).c_str() : "(no file)");
    }
    FUZZ_CHECK(after == expected, "WININIT.INI is the model's");
    FUZZ_CHECK(standin::TempCopies().empty(), "the temporary copy is gone");
    FUZZ_CHECK(standin::OpenTextFiles() == 0 && standin::OpenFindHandles() == 0,
               "files and find handles closed");

    /* Stated without the sections: every line ends in CR LF, and the former lines all come
       back in order, each whole, with only new entries (and a header for them) between. */
    if (after && after != before) {
        FUZZ_CHECK(after->size() >= 2 && after->compare(after->size() - 2, 2, "\r\n") == 0,
                   "last line ends in CR LF");
        for (size_t i = 0; i < after->size(); ++i) {
            if ((*after)[i] == '\n')
                FUZZ_CHECK(i > 0 && (*after)[i - 1] == '\r', "every line end is CR LF");
        }
        std::vector<std::string> formerLines = ModelLines(before.value_or(std::string()));
        std::vector<std::string> lines = ModelLines(*after);
        size_t next = 0;
        for (const std::string& line : lines) {
            if (next < formerLines.size() && line == formerLines[next])
                ++next;
            else
                FUZZ_CHECK(line == "[rename]" ||
                               std::find(entries.begin(), entries.end(), line) != entries.end(),
                           "only new entries are added");
        }
        FUZZ_CHECK(next == formerLines.size(), "every former line comes back, in order");
    }
    return 0;
}
