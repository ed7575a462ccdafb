/* The walk over the registry value's data: on a heap block of exactly the data's size (so a
   read past it is a sanitizer error) it lists exactly the deletions of a model that first cuts
   the data into its NUL-terminated strings; then the same through the registry reader, with the
   value changing between the two queries or the second query failing.
   Input: flags (bit 0: no value, bit 1: the value changes after the size query, bit 2: the
   second query fails), with bit 1 the length of the first data, then the data (and the data
   it changes to). */

#include "fuzz_support.h"

#include <cstring>

using namespace fuzz;

namespace
{

/* Whole strings only: bytes after the last NUL form none. Pairs of consecutive strings; an
   empty source, or a source without its destination, ends the walk; a pair with an empty
   destination is a deletion, shown without a leading "\??\". */
std::vector<std::string> ModelDeletions(const std::string& data)
{
    std::vector<std::string> strings;
    size_t start = 0;
    for (size_t nul = data.find('\0'); nul != std::string::npos; nul = data.find('\0', start)) {
        strings.push_back(data.substr(start, nul - start));
        start = nul + 1;
    }
    std::vector<std::string> deletions;
    for (size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2) {
        if (!strings[i + 1].empty())
            continue;
        const std::string& source = strings[i];
        deletions.push_back(source.compare(0, 4, "\\??\\") == 0 ? source.substr(4) : source);
    }
    return deletions;
}

void Compare(const std::string& data, const std::vector<std::string>& expected, const char* what)
{
    std::vector<std::string> items = standin::ListBoxItems();
    if (items != expected) {
        fprintf(stderr, "data: %s\n", Printable(data).c_str());
        ShowList("expected", expected);
        ShowList("listed", items);
    }
    FUZZ_CHECK(items == expected, what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input(data, size);
    uint8_t flags = input.Byte();
    bool missing = (flags & 1) != 0;
    bool changes = (flags & 2) != 0;
    bool secondFails = (flags & 4) != 0;
    std::string value = changes ? input.Bytes(input.Byte()) : input.Rest();
    std::string changed = input.Rest();

    standin::Reset();
    g_hPendingList = standin::ListBox();

    /* The walk alone, on an exact-size block. */
    char* block = (char*)malloc(value.size());
    memcpy(block, value.data(), value.size());
    ListPendingDeletions(block, (DWORD)value.size());
    free(block);
    Compare(value, ModelDeletions(value), "the walk lists the model's deletions");

    /* Through the registry: only data delivered whole by the second query is walked. */
    standin::SetListBoxItems({});
    if (!missing)
        standin::SetPendingValue(value);
    if (changes)
        standin::SetPendingValueAfterSizeQuery(changed);
    standin::SetPoisonOnFailure(true);
    if (secondFails)
        standin::FailCall("RegQueryValueExA", 2);
    ReadPendingRenameOperations();

    std::vector<std::string> expected;
    const std::string& delivered = changes ? changed : value;
    if (!missing && !value.empty() && !secondFails && delivered.size() <= value.size())
        expected = ModelDeletions(delivered);
    Compare(changes ? changed : value, expected,
            "the reader lists what the second query delivered");
    FUZZ_CHECK(standin::OpenKeys() == 0, "key closed");
    return 0;
}
