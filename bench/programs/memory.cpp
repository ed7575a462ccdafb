/* Peak memory of one deletion request, through the program's own ScheduleDeletion:
     memory PATH
   empties WININIT.INI (the 9x family's store must be in the same state for every request),
   makes the request and prints
     peak_ws P ws_before W new_peak B new_blocks K
   P: the process's peak working set afterwards, W: its working set before the request (bytes);
   B: the peak of the bytes live through operator new during the request, K: the blocks live at
   that peak. */

#include "vornel.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <new>

HINSTANCE g_hInstance;
HWND g_hPendingList;

namespace
{

size_t g_live, g_peak, g_blocks, g_peakBlocks;

void* Allocate(size_t size)
{
    void* p = malloc(size == 0 ? 1 : size);
    if (p == NULL)
        throw std::bad_alloc();
    g_live += _msize(p);
    ++g_blocks;
    if (g_live > g_peak) {
        g_peak = g_live;
        g_peakBlocks = g_blocks;
    }
    return p;
}

void Release(void* p)
{
    if (p == NULL)
        return;
    g_live -= _msize(p);
    --g_blocks;
    free(p);
}

} // namespace

void* operator new(size_t size)
{
    return Allocate(size);
}

void* operator new[](size_t size)
{
    return Allocate(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size);
    } catch (...) {
        return NULL;
    }
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size);
    } catch (...) {
        return NULL;
    }
}

void operator delete(void* p) noexcept
{
    Release(p);
}

void operator delete[](void* p) noexcept
{
    Release(p);
}

void operator delete(void* p, size_t) noexcept
{
    Release(p);
}

void operator delete[](void* p, size_t) noexcept
{
    Release(p);
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: memory PATH\n");
        return 2;
    }
    g_hInstance = GetModuleHandleA(NULL);

    char wininit[MAX_PATH];
    GetWininitPath(wininit);
    FILE* file = fopen(wininit, "wb");
    if (file != NULL)
        fclose(file);

    PROCESS_MEMORY_COUNTERS before, after;
    before.cb = after.cb = sizeof(PROCESS_MEMORY_COUNTERS);
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    size_t liveBefore = g_live, blocksBefore = g_blocks;
    g_peak = g_live;
    g_peakBlocks = g_blocks;

    ScheduleDeletion(argv[1]);

    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    printf("peak_ws %llu ws_before %llu new_peak %llu new_blocks %llu\n",
           (unsigned long long)after.PeakWorkingSetSize, (unsigned long long)before.WorkingSetSize,
           (unsigned long long)(g_peak - liveBefore),
           (unsigned long long)(g_peakBlocks - blocksBefore));
    return 0;
}
