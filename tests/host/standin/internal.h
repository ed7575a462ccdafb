/* Shared state of the stand-in's parts; not for tests. */

#ifndef VORNEL_STANDIN_INTERNAL_H
#define VORNEL_STANDIN_INTERNAL_H

#include "standin.h"

#include <map>
#include <memory>
#include <set>

namespace standin
{
namespace detail
{

struct Node {
    std::string name;
    std::string shortName;
    DWORD attributes = 0;
    std::string data;
    std::vector<std::unique_ptr<Node>> children;
    Node* parent = nullptr;
    bool notEnterable = false;
    bool notListable = false;
    int enumerationLimit = -1;

    bool IsFolder() const
    {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
};

/* Marks the stand-in as running: allocations made here are never failed. */
struct StandinScope {
    StandinScope();
    ~StandinScope();
};
bool InStandin();

/* One logged call; the constructor decides whether an injected fault hits it. */
class Api
{
  public:
    explicit Api(const char* fn);
    Call& call();
    bool failing() const
    {
        return failing_;
    }

  private:
    StandinScope scope_;
    std::size_t index_;
    bool failing_;
};

/* Full, normalised path (drive root "C:\"), or false for a path the volume cannot parse. */
bool Normalize(const std::string& path, std::string& full, bool* trailingSeparator = nullptr);
Node* Lookup(const std::string& full);
Node* ParentFolderFor(const std::string& full, std::string& leaf);
Node* CreateChild(Node* folder, const std::string& name, DWORD attributes);
void RemoveNode(Node* node);
void SetLastErrorCode(DWORD code);

/* Text-file bookkeeping shared with the openers. */
struct TextState {
    std::multiset<std::string> openFiles; /* full paths, folded */
    std::optional<std::size_t> writeBudget;
    std::map<std::string, std::size_t> readFailures; /* folded full path -> bytes */
};
TextState& Text();
std::string Fold(const std::string& s);

void ResetAllocation();

} // namespace detail
} // namespace standin

#endif
