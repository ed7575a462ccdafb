/* Host benchmarks: the program's own work against the stand-in of the Win32 API, whose calls
   cost little and never grow with the store, so what grows here is the program's part. Each
   benchmark fits its complexity over the sizes; nothing here asserts a time. */

#include "vornel.h"

#include "standin.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

const char kRoot[] = "C:\\BENCH";
const char kWininit[] = "C:\\WINDOWS\\WININIT.INI";
const int kFilesPerFolder = 50;
const int kFoldersPerGroup = 10;
const int kGroupsPerSet = 10;

/* Long names, 50 files to a folder, 10 folders to a group, 10 groups to a set: no folder holds
   more than 50 entries at any size, because the stand-in looks names up by a scan of the folder
   (a real volume does not slow down that way). The names differ in their first characters, so
   the stand-in finds each a short name at the first try. */
void MakeTree(int files)
{
    standin::Reset();
    for (int i = 0; i < files; ++i) {
        char file[128];
        snprintf(file, sizeof file, "%s\\set_%02d\\group_%02d\\sub_%02d\\%06d_file_data.txt", kRoot,
                 i / (kFilesPerFolder * kFoldersPerGroup * kGroupsPerSet),
                 (i / (kFilesPerFolder * kFoldersPerGroup)) % kGroupsPerSet,
                 (i / kFilesPerFolder) % kFoldersPerGroup, i);
        standin::AddFile(file);
    }
}

/* An existing WININIT.INI of about this many bytes: older entries in its rename section. */
std::string SeedWininit(std::size_t bytes)
{
    std::string data = "[boot]\r\nshell=Explorer.exe\r\n[rename]\r\n";
    for (int i = 0; data.size() < bytes; ++i) {
        char line[64];
        snprintf(line, sizeof line, "NUL=C:\\OLDAPP\\DATA%04d\\FILE%04d.TMP\r\n", i / 100,
                 i % 10000);
        data += line;
    }
    return data;
}

PathList CollectTree()
{
    PathList list;
    CollectFolderContents(kRoot, list);
    standin::ClearLog();
    return list;
}

/* The folder walk of one request, the list's release included. */
void BM_Walk(benchmark::State& state)
{
    MakeTree((int)state.range(0));
    const int64_t entries = (int64_t)CollectTree().size() + 1; /* also the warm-up */
    for (auto _ : state) {
        {
            PathList list;
            CollectFolderContents(kRoot, list);
            benchmark::DoNotOptimize(list.size());
        }
        state.PauseTiming();
        standin::ClearLog();
        state.ResumeTiming();
    }
    state.SetComplexityN(entries);
}

/* One request's rewrite of a WININIT.INI that holds seedBytes, the file reset before each run. */
static void RunRewrite(benchmark::State& state, int files, std::size_t seedBytes, bool byBytes)
{
    MakeTree(files);
    PathList list = CollectTree();
    const std::string seed = SeedWininit(seedBytes);
    standin::AddFile(kWininit, seed);
    ScheduleInWininit(kRoot, &list); /* warm-up */
    for (auto _ : state) {
        state.PauseTiming();
        standin::AddFile(kWininit, seed);
        standin::ClearLog();
        state.ResumeTiming();
        ScheduleInWininit(kRoot, &list);
    }
    state.SetComplexityN(byBytes ? (int64_t)seed.size() : (int64_t)list.size() + 1);
}

/* The WININIT.INI rewrite of one request of N entries, into a file of 64 KiB. */
void BM_RewriteEntries(benchmark::State& state)
{
    RunRewrite(state, (int)state.range(0), 64 * 1024, false);
}

/* The rewrite of one request of 1,000 entries into a WININIT.INI of N bytes. */
void BM_RewriteExistingBytes(benchmark::State& state)
{
    RunRewrite(state, 1000, (std::size_t)state.range(0), true);
}

/* The walk over the registry value's data of N deletions, one LB_ADDSTRING each. */
void BM_ListPendingDeletions(benchmark::State& state)
{
    standin::Reset();
    std::vector<std::string> paths;
    for (int64_t i = 0; i < state.range(0); ++i) {
        char path[128];
        snprintf(path, sizeof path, "C:\\BENCH\\group_%03d\\sub_%02d\\%06d_file_data.txt",
                 (int)(i / 500), (int)(i / 50) % 10, (int)i);
        paths.push_back(path);
    }
    const std::string data = standin::PendingDeletions(paths);
    ListPendingDeletions(data.data(), (DWORD)data.size()); /* warm-up: first growth of the heap */
    standin::SetListBoxItems({});
    standin::ClearLog();
    for (auto _ : state) {
        ListPendingDeletions(data.data(), (DWORD)data.size());
        state.PauseTiming();
        standin::SetListBoxItems({});
        standin::ClearLog();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
}

/* The 9x family's reader: a WININIT.INI whose rename section holds N deletions. */
void BM_ReadWininitRenameSection(benchmark::State& state)
{
    standin::Reset();
    std::string data = "[rename]\r\n";
    for (int64_t i = 0; i < state.range(0); ++i) {
        char line[64];
        snprintf(line, sizeof line, "NUL=C:\\BENCH\\GROUP_%03d\\SUB_%02d\\%05d_~1.TXT\r\n",
                 (int)(i / 500), (int)(i / 50) % 10, (int)i);
        data += line;
    }
    standin::AddFile(kWininit, data);
    ReadWininitRenameSection(); /* warm-up */
    standin::SetListBoxItems({});
    standin::ClearLog();
    for (auto _ : state) {
        ReadWininitRenameSection();
        state.PauseTiming();
        standin::SetListBoxItems({});
        standin::ClearLog();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
}

void Sizes(benchmark::internal::Benchmark* b, int64_t from, int64_t to)
{
    b->RangeMultiplier(2)->Range(from, to)->Complexity()->Repetitions(5)->MinTime(0.2)->Unit(
        benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_Walk)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, 1 << 10, 1 << 16); });
BENCHMARK(BM_RewriteEntries)->Apply([](benchmark::internal::Benchmark* b) {
    Sizes(b, 1 << 10, 1 << 16);
});
BENCHMARK(BM_RewriteExistingBytes)->Apply([](benchmark::internal::Benchmark* b) {
    Sizes(b, 1 << 16, 1 << 22);
});
BENCHMARK(BM_ListPendingDeletions)->Apply([](benchmark::internal::Benchmark* b) {
    Sizes(b, 1 << 10, 1 << 17);
});
BENCHMARK(BM_ReadWininitRenameSection)->Apply([](benchmark::internal::Benchmark* b) {
    Sizes(b, 1 << 10, 1 << 17);
});
