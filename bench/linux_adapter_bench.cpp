// Costs of the Linux adapter's system-wide walks on the machine at hand.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "platform/system.hpp"

namespace {

ac::System& os() { return ac::native_system(); }

void BM_QuerySystemHandles(benchmark::State& state) {
    size_t handles = 0;
    for (auto _ : state) {
        auto q = os().query_system_handles();
        handles = q.handles.size();
        benchmark::DoNotOptimize(q);
    }
    auto snapshot = os().process_snapshot();
    state.counters["processes"] = snapshot ? static_cast<double>(snapshot->size()) : 0;
    state.counters["handles"] = static_cast<double>(handles);
}
BENCHMARK(BM_QuerySystemHandles)->Unit(benchmark::kMillisecond);

// The same with this process holding 256 extra process handles (a pidfd and a
// /proc directory each): the per-descriptor cost of the walk.
void BM_QuerySystemHandlesWith256Handles(benchmark::State& state) {
    std::vector<std::unique_ptr<ac::ProcessHandle>> held;
    for (int i = 0; i < 256; ++i)
        held.push_back(os().open_process(os().current_pid(), ac::win::PROCESS_QUERY_LIMITED_INFORMATION));
    size_t handles = 0;
    for (auto _ : state) {
        auto q = os().query_system_handles();
        handles = q.handles.size();
        benchmark::DoNotOptimize(q);
    }
    state.counters["handles"] = static_cast<double>(handles);
}
BENCHMARK(BM_QuerySystemHandlesWith256Handles)->Unit(benchmark::kMillisecond);

void BM_ProcessSnapshot(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(os().process_snapshot());
}
BENCHMARK(BM_ProcessSnapshot)->Unit(benchmark::kMicrosecond);

void BM_ThreadSnapshot(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(os().thread_snapshot());
}
BENCHMARK(BM_ThreadSnapshot)->Unit(benchmark::kMicrosecond);

// What inspect_process needs of the thread snapshot: one process's count.
void BM_ThreadCountSelf(benchmark::State& state) {
    uint32_t self = os().current_pid();
    for (auto _ : state) benchmark::DoNotOptimize(os().thread_count(self));
}
BENCHMARK(BM_ThreadCountSelf)->Unit(benchmark::kMicrosecond);

void BM_ModuleSnapshotSelf(benchmark::State& state) {
    uint32_t self = os().current_pid();
    for (auto _ : state) benchmark::DoNotOptimize(os().module_snapshot(self));
}
BENCHMARK(BM_ModuleSnapshotSelf)->Unit(benchmark::kMicrosecond);

// A whole VirtualQueryEx walk of our own address space, handle open included.
void BM_RegionWalkSelf(benchmark::State& state) {
    uint32_t self = os().current_pid();
    size_t regions = 0;
    for (auto _ : state) {
        auto h = os().open_process(self, ac::win::PROCESS_QUERY_INFORMATION | ac::win::PROCESS_VM_READ);
        regions = 0;
        uint64_t address = 0;
        while (auto r = h->query_region(address)) {
            ++regions;
            if (r->base + r->size <= address) break;
            address = r->base + r->size;
        }
    }
    state.counters["regions"] = static_cast<double>(regions);
}
BENCHMARK(BM_RegionWalkSelf)->Unit(benchmark::kMicrosecond);

void BM_Md5Megabyte(benchmark::State& state) {
    std::vector<uint8_t> data(1 << 20, 0x5a);
    for (auto _ : state) {
        auto h = os().md5();
        h->update(data.data(), data.size());
        benchmark::DoNotOptimize(h->finish());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_Md5Megabyte)->Unit(benchmark::kMicrosecond);

void BM_AnsiRoundTrip(benchmark::State& state) {
    std::string text = "C:\\Games\\Caf\xe9\\bin\\game.exe";
    for (auto _ : state) benchmark::DoNotOptimize(os().wide_to_utf8(*os().ansi_to_wide(text)));
}
BENCHMARK(BM_AnsiRoundTrip);

}  // namespace
