// The inspection cheat-process scan over this machine's own process list, at
// medium and at heavy: the first sweep (digest and fingerprint caches cold)
// and repeated sweeps (caches warm). The file_opens counter shows that a
// repeated sweep reads no image file again.
#include <benchmark/benchmark.h>

#include "reports/cheat_process_scan.hpp"
#include "reports/fields.hpp"
#include "reports/record.hpp"
#include "support/counting_system.hpp"

namespace {

class ReadCounting : public ac::test::CountingSystem {
public:
    int files_read = 0;
    std::unique_ptr<ac::FileReader> open_file(std::string_view path) override {
        auto file = CountingSystem::open_file(path);
        files_read += file != nullptr;
        return file;
    }
};

ReadCounting& counting() {
    static ReadCounting system;
    return system;
}

void sweep(benchmark::State& state, bool heavy) {
    ac::ScopedSystemOverride use(counting());
    const ac::ReportRecord seed = ac::seeded_record(ac::kProcessRecordSeed);
    counting().file_opens = 0;
    counting().files_read = 0;
    for (auto _ : state) {
        ac::ReportRecord record = seed;
        benchmark::DoNotOptimize(ac::inspection_cheat_scan(record, heavy));
    }
    auto processes = counting().process_snapshot();
    state.counters["processes"] = processes ? static_cast<double>(processes->size()) : 0;
    state.counters["open_attempts"] = benchmark::Counter(counting().file_opens, benchmark::Counter::kAvgIterations);
    state.counters["files_read"] = benchmark::Counter(counting().files_read, benchmark::Counter::kAvgIterations);
}

// Registration order is run order: each first sweep runs once, before its repeats.
void BM_MediumFirst(benchmark::State& state) { sweep(state, false); }
void BM_MediumRepeat(benchmark::State& state) { sweep(state, false); }
void BM_HeavyFirst(benchmark::State& state) { sweep(state, true); }
void BM_HeavyRepeat(benchmark::State& state) { sweep(state, true); }

BENCHMARK(BM_MediumFirst)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MediumRepeat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeavyFirst)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeavyRepeat)->Unit(benchmark::kMillisecond);

}  // namespace
