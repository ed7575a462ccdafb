/* Shared by the fuzz targets: a reader over the fuzzer's bytes, the simulated volume that the
   WININIT.INI targets name their items in, and a model of WININIT.INI's line rules written
   independently of the program's reader. */

#ifndef VORNEL_FUZZ_SUPPORT_H
#define VORNEL_FUZZ_SUPPORT_H

#include "standin.h"
#include "vornel.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace fuzz
{

/* Takes bytes from the front; past the end every byte reads as 0. */
class Input
{
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte()
    {
        return position_ < size_ ? data_[position_++] : 0;
    }
    std::string Bytes(size_t n)
    {
        size_t take = n < size_ - position_ ? n : size_ - position_;
        std::string bytes((const char*)data_ + position_, take);
        position_ += take;
        return bytes;
    }
    std::string Rest()
    {
        return Bytes(size_ - position_);
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

/* A broken property aborts, so libFuzzer keeps the input that shows it. */
#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "property broken: %s (%s:%d)\n", what, __FILE__, __LINE__);            \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

inline std::string Printable(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += (char)c;
        } else {
            char hex[8];
            snprintf(hex, sizeof(hex), "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

inline void ShowList(const char* title, const std::vector<std::string>& items)
{
    fprintf(stderr, "%s (%zu):\n", title, items.size());
    for (const std::string& item : items)
        fprintf(stderr, "  [%s]\n", Printable(item).c_str());
}

const char kWininit[] = "C:\\WINDOWS\\WININIT.INI";

/* Items of the simulated volume that a request can name; the last one does not exist, so its
   short form cannot be had. */
const char* const kItems[] = {
    "C:\\DATA\\REQ",
    "C:\\DATA\\REQ\\a.txt",
    "C:\\DATA\\REQ\\Long Name Document.txt",
    "C:\\DATA\\REQ\\SUB",
    "C:\\DATA\\REQ\\SUB\\b.dat",
    "C:\\DATA\\REQ\\...",
    "C:\\DATA\\Long File Name.txt",
    "C:\\DATA\\F.TXT",
    "C:\\DATA\\GONE.TXT",
};
const size_t kItemCount = sizeof(kItems) / sizeof(kItems[0]);

inline void BuildVolume()
{
    standin::AddFolder("C:\\DATA\\REQ");
    standin::AddFile("C:\\DATA\\REQ\\a.txt", "a");
    standin::AddFile("C:\\DATA\\REQ\\Long Name Document.txt", "l");
    standin::AddFolder("C:\\DATA\\REQ\\SUB");
    standin::AddFile("C:\\DATA\\REQ\\SUB\\b.dat", "b");
    standin::AddFileNamed("C:\\DATA\\REQ", "...", "d");
    standin::AddFile("C:\\DATA\\Long File Name.txt", "f");
    standin::AddFile("C:\\DATA\\F.TXT", "f");
}

/* What the platform gives as the item's short form, or false when it gives none. */
inline bool ShortForm(const char* path, std::string& shortPath)
{
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    shortPath = buffer;
    return true;
}

/* The lines that a request adds: one per list entry with a short form, then the request's own. */
inline std::vector<std::string> NewEntryLines(const char* own, const PathList& list)
{
    std::vector<std::string> lines;
    std::string shortPath;
    for (const std::string& entry : list) {
        if (ShortForm(entry.c_str(), shortPath))
            lines.push_back("NUL=" + shortPath);
    }
    if (ShortForm(own, shortPath))
        lines.push_back("NUL=" + shortPath);
    return lines;
}

/* ---- Model of the file's lines ---- */

/* Cut at every LF; the CR right before an LF goes with it; what follows the last LF is a line
   only if it is not empty. */
inline std::vector<std::string> ModelLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        size_t end = (lf > start && bytes[lf - 1] == '\r') ? lf - 1 : lf;
        lines.push_back(bytes.substr(start, end - start));
        start = lf + 1;
    }
    return lines;
}

/* The text a line stands for in a comparison: up to its first NUL byte. */
inline std::string TextOf(const std::string& line)
{
    return line.substr(0, line.find('\0'));
}

inline bool SameLetters(const std::string& a, const char* b)
{
    std::string upper;
    for (char c : a)
        upper += (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
    return upper == b;
}

inline bool ModelIsHeader(const std::string& line)
{
    return SameLetters(TextOf(line), "[RENAME]");
}

inline bool ModelIsBoundary(const std::string& line)
{
    return !line.empty() && line[0] == '[';
}

inline bool ModelIsEntry(const std::string& line)
{
    return line.size() >= 4 && SameLetters(line.substr(0, 4), "NUL=");
}

/* A rename section: the header's line index, the index of the line that ends it (the line count
   when the file does), and the texts its deletion entries show. */
struct Section {
    size_t header;
    size_t end;
    std::vector<std::string> items;
};

/* A boundary only ends a section; the search for the next header starts after it. */
inline std::vector<Section> ModelSections(const std::vector<std::string>& lines)
{
    std::vector<Section> sections;
    size_t i = 0;
    while (i < lines.size()) {
        if (!ModelIsHeader(lines[i])) {
            ++i;
            continue;
        }
        Section section{i, i + 1, {}};
        while (section.end < lines.size() && !ModelIsBoundary(lines[section.end])) {
            if (ModelIsEntry(lines[section.end]))
                section.items.push_back(TextOf(lines[section.end]).substr(4));
            ++section.end;
        }
        sections.push_back(section);
        i = section.end + 1;
    }
    return sections;
}

inline std::vector<std::string> ModelItems(const std::string& bytes)
{
    std::vector<std::string> items;
    for (const Section& section : ModelSections(ModelLines(bytes)))
        items.insert(items.end(), section.items.begin(), section.items.end());
    return items;
}

/* WININIT.INI after a request whose new lines are entries; nullopt: no file. No new line at all
   leaves the file as it was. */
inline std::optional<std::string> ModelRewrite(const std::optional<std::string>& before,
                                               const std::vector<std::string>& entries)
{
    if (entries.empty())
        return before;
    std::string block;
    for (const std::string& entry : entries)
        block += entry + "\r\n";
    if (!before)
        return "[rename]\r\n" + block;

    std::vector<std::string> lines = ModelLines(*before);
    std::vector<Section> sections = ModelSections(lines);
    std::vector<bool> blockBefore(lines.size() + 1, false);
    for (const Section& section : sections)
        blockBefore[section.end] = true;

    std::string after;
    for (size_t i = 0; i <= lines.size(); ++i) {
        if (blockBefore[i])
            after += block;
        if (i < lines.size())
            after += lines[i] + "\r\n";
    }
    if (sections.empty())
        after += "[rename]\r\n" + block;
    return after;
}

} // namespace fuzz

#endif
