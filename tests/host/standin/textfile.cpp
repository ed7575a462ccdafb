/* Text files of the simulated volume: FILE* streams over the volume's bytes (fopencookie), so
   the program's own stdio code runs unchanged. */

#include "internal.h"

#include "vornel.h"

#include <cstring>

using namespace standin;
using namespace standin::detail;

namespace
{

struct Cookie {
    std::string full;   /* the file's full path */
    std::string folded; /* its key in the open-file set */
    std::string snapshot;
    std::size_t position = 0;
    std::optional<std::size_t> failAfter;
};

ssize_t ReadCookie(void* opaque, char* buffer, size_t size)
{
    StandinScope scope;
    Cookie* cookie = (Cookie*)opaque;
    std::size_t end = cookie->snapshot.size();
    if (cookie->failAfter) {
        if (cookie->position >= *cookie->failAfter)
            return -1;
        end = std::min(end, *cookie->failAfter);
    }
    std::size_t n = std::min(size, end - std::min(end, cookie->position));
    memcpy(buffer, cookie->snapshot.data() + cookie->position, n);
    cookie->position += n;
    return (ssize_t)n;
}

/* A full disk stores what fits and reports the short write, which marks the stream. */
ssize_t WriteCookie(void* opaque, const char* buffer, size_t size)
{
    Api api("TextFileWrite");
    Cookie* cookie = (Cookie*)opaque;
    api.call().arg = cookie->full;
    api.call().n1 = (long long)size;
    Node* node = Lookup(cookie->full);
    if (api.failing() || node == nullptr || node->IsFolder())
        return -1;
    std::size_t n = size;
    std::optional<std::size_t>& budget = Text().writeBudget;
    if (budget) {
        n = std::min(n, *budget);
        *budget -= n;
    }
    node->data.append(buffer, n);
    if (n == 0 && size > 0)
        return -1;
    return (ssize_t)n;
}

int CloseCookie(void* opaque)
{
    Cookie* cookie = (Cookie*)opaque;
    {
        Api api("TextFileClose");
        api.call().arg = cookie->full;
        auto it = Text().openFiles.find(cookie->folded);
        if (it != Text().openFiles.end())
            Text().openFiles.erase(it);
        delete cookie;
    }
    return 0;
}

FILE* Open(Cookie* cookie, const char* mode, bool reading)
{
    cookie_io_functions_t functions;
    memset(&functions, 0, sizeof(functions));
    if (reading)
        functions.read = ReadCookie;
    else
        functions.write = WriteCookie;
    functions.close = CloseCookie;
    FILE* file = fopencookie(cookie, mode, functions);
    if (file == nullptr) {
        delete cookie;
        return nullptr;
    }
    Text().openFiles.insert(cookie->folded);
    return file;
}

} // namespace

FILE* OpenTextFileForReading(const char* path)
{
    Api api("OpenTextFileForReading");
    api.call().arg = path != nullptr ? path : "(null)";
    std::string full;
    Node* node = nullptr;
    if (!api.failing() && path != nullptr && Normalize(path, full))
        node = Lookup(full);
    if (node == nullptr || node->IsFolder())
        return nullptr;
    Cookie* cookie = new Cookie;
    cookie->full = full;
    cookie->folded = Fold(full);
    cookie->snapshot = node->data;
    auto failure = Text().readFailures.find(cookie->folded);
    if (failure != Text().readFailures.end())
        cookie->failAfter = failure->second;
    FILE* file = Open(cookie, "rb", true);
    api.call().result = file != nullptr;
    return file;
}

FILE* OpenTextFileForWriting(const char* path)
{
    Api api("OpenTextFileForWriting");
    api.call().arg = path != nullptr ? path : "(null)";
    std::string full;
    if (api.failing() || path == nullptr || !Normalize(path, full))
        return nullptr;
    std::string leaf;
    Node* folder = ParentFolderFor(full, leaf);
    if (folder == nullptr)
        return nullptr;
    Node* node = Lookup(full);
    if (node != nullptr && (node->IsFolder() || (node->attributes & FILE_ATTRIBUTE_READONLY)))
        return nullptr;
    if (node == nullptr)
        node = CreateChild(folder, leaf, FILE_ATTRIBUTE_ARCHIVE);
    node->data.clear();
    Cookie* cookie = new Cookie;
    cookie->full = full;
    cookie->folded = Fold(full);
    FILE* file = Open(cookie, "wb", false);
    api.call().result = file != nullptr;
    return file;
}
