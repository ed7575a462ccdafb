/* The command line: the argument string cut from it and the paths split out of that, against a
   model that states the rules over indices; then WinMain on the same command line.
   Input: a flag byte (bit 0: code page 932), then the command line up to its first NUL. */

#include "fuzz_support.h"

#include <cstring>

using namespace fuzz;

namespace
{

bool g_cp932 = false;
std::vector<std::string> g_handed;

bool ModelLead(unsigned char c)
{
    return g_cp932 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

/* Where the argument string starts: past the program name (quoted: up to the first character
   that is a lone quote, a double-byte character counting as one; else up to the first byte of
   0x20 or below) and then past every byte 0x01..0x20. */
size_t ModelArgumentStart(const std::string& line)
{
    size_t i = 0;
    if (!line.empty() && line[0] == '"') {
        std::vector<size_t> characters;
        for (size_t k = 1; k < line.size();
             k += (ModelLead(line[k]) && k + 1 < line.size()) ? 2 : 1)
            characters.push_back(k);
        i = line.size();
        for (size_t k : characters) {
            bool pair = ModelLead(line[k]) && k + 1 < line.size();
            if (!pair && line[k] == '"') {
                i = k + 1;
                break;
            }
        }
    } else {
        while (i < line.size() && (unsigned char)line[i] > 0x20)
            ++i;
    }
    while (i < line.size() && (unsigned char)line[i] >= 0x01 && (unsigned char)line[i] <= 0x20)
        ++i;
    return i;
}

/* The paths of an argument string: blanks are skipped; a quote where a path begins opens a
   path up to the next quote (or the end), and the character after that quote is looked at
   next; any other character begins a path that runs to the next blank (or the end). */
std::vector<std::string> ModelPaths(const std::string& args)
{
    std::vector<std::string> paths;
    size_t i = 0;
    while (i < args.size()) {
        if (args[i] == ' ') {
            ++i;
            continue;
        }
        size_t begin = args[i] == '"' ? i + 1 : i;
        size_t end = args.find(args[i] == '"' ? '"' : ' ', begin);
        if (end == std::string::npos) {
            paths.push_back(args.substr(begin));
            break;
        }
        paths.push_back(args.substr(begin, end - begin));
        i = end + 1;
    }
    return paths;
}

void Collect(const char* path)
{
    g_handed.push_back(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input(data, size);
    g_cp932 = (input.Byte() & 1) != 0;
    std::string line = input.Rest();
    line = line.substr(0, line.find('\0'));

    standin::Reset();
    standin::SetCodePage932(g_cp932);

    /* The splitter's own view. */
    std::vector<char> copy(line.begin(), line.end());
    copy.push_back('\0');
    char* args = FindArgumentString(copy.data());
    size_t start = ModelArgumentStart(line);
    FUZZ_CHECK(args == copy.data() + start, "argument string starts where the rules say");
    FUZZ_CHECK(*args == '\0' || (unsigned char)*args > 0x20,
               "argument string empty or begins above 0x20");

    std::vector<std::string> expected = ModelPaths(line.substr(start));
    g_handed.clear();
    BOOL handedOn = SplitArgumentString(args, Collect);
    if (g_handed != expected) {
        fprintf(stderr, "command line [%s]\n", Printable(line).c_str());
        ShowList("expected", expected);
        ShowList("handed on", g_handed);
    }
    FUZZ_CHECK(g_handed == expected, "paths handed on are the model's");
    FUZZ_CHECK((handedOn != FALSE) == !expected.empty(),
               "result tells whether a path was handed on");

    /* The program as started: each path reaches IsFolder once, in order (it is the only caller
       of GetFileAttributesA), the dialog runs only without paths, and the system's command line
       is left as it was. */
    standin::Reset();
    standin::SetCodePage932(g_cp932);
    standin::SetCommandLine(line);
    standin::ClearLog();
    FUZZ_CHECK(WinMain(nullptr, nullptr, nullptr, 0) == 0, "exit code 0");
    FUZZ_CHECK(standin::ArgsOf("GetFileAttributesA") == expected,
               "WinMain requests the model's paths");
    FUZZ_CHECK(standin::CountOf("DialogBoxParamA") == (expected.empty() ? 1u : 0u),
               "dialog only without paths");
    FUZZ_CHECK(standin::CommandLineBuffer() == line, "system command line untouched");
    FUZZ_CHECK(standin::OpenFindHandles() == 0 && standin::OpenKeys() == 0, "handles released");
    return 0;
}
