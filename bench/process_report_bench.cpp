// inspect_process_record on a live child process whose address space holds a
// chosen number of mappings (read-only, read-write and read-execute pages in
// turn, so none merge). "First" is the first call of the process at that
// level: the file caches of the heavy sweep are cold. "Repeated" runs after
// them. The per-region runs show how the heavy memory walk grows with the
// target's mappings.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <memory>

#include "checks/manual_map_check.hpp"
#include "platform/system.hpp"
#include "reports/process_report.hpp"
#include "reports/record.hpp"
#include "reports/write_handle_report.hpp"

namespace {

class MappedChild {
public:
    explicit MappedChild(int mappings) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const long page = ::sysconf(_SC_PAGESIZE);
            // One page of distance between blocks keeps the kernel from merging them.
            auto* area = static_cast<char*>(::mmap(nullptr, static_cast<size_t>(page) * 2 * mappings,
                                                   PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
            const int protections[] = {PROT_READ, PROT_READ | PROT_WRITE, PROT_READ | PROT_EXEC};
            for (int i = 0; i < mappings; ++i)
                ::mprotect(area + static_cast<size_t>(page) * 2 * i, static_cast<size_t>(page), protections[i % 3]);
            char ok = 1;
            (void)!::write(ready[1], &ok, 1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char ok = 0;
        (void)!::read(ready[0], &ok, 1);
        ::close(ready[0]);
    }
    ~MappedChild() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    int32_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// One child per mapping count, reaped when the benchmark process ends.
int32_t child_with(int mappings) {
    static std::map<int, std::unique_ptr<MappedChild>> children;
    auto& child = children[mappings];
    if (!child) child = std::make_unique<MappedChild>(mappings);
    return child->pid();
}

const char* level_text(int64_t level) {
    static const char* const words[] = {"cheap", "medium", "heavy"};
    return words[level];
}

void run(benchmark::State& state, int mappings) {
    const int32_t pid = child_with(mappings);
    const char* level = level_text(state.range(0));
    for (auto _ : state) {
        ac::ReportRecord r = ac::inspect_process_record(pid, nullptr, level);
        benchmark::DoNotOptimize(r);
        if (ac::get_field(r, ac::proc_key::processFound) != "1") state.SkipWithError("target not found");
    }
    state.counters["regions_counted"] = 0;
    ac::ReportRecord last = ac::inspect_process_record(pid, nullptr, level);
    auto count = ac::get_field(last, ac::proc_key::privateExecutableRegionCount);
    if (!count.empty()) state.counters["regions_counted"] = std::stod(std::string(count));
}

void BM_InspectFirst(benchmark::State& state) { run(state, 300); }
BENCHMARK(BM_InspectFirst)->Arg(0)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_InspectRepeated(benchmark::State& state) { run(state, 300); }
BENCHMARK(BM_InspectRepeated)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Heavy only, over targets with more and more mappings.
void BM_InspectHeavyByMappings(benchmark::State& state) {
    const int32_t pid = child_with(static_cast<int>(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(ac::inspect_process_record(pid, nullptr, level_text(state.range(0))));
}
BENCHMARK(BM_InspectHeavyByMappings)
    ->Args({2, 100})
    ->Args({2, 300})
    ->Args({2, 1200})
    ->Args({2, 4800})
    ->Unit(benchmark::kMillisecond);

// The heavy sections alone: the memory walk (grows with the target's
// mappings) and the write-handle scan (grows with the machine's processes and,
// on Linux, with their open descriptors).
void BM_ManualMapCheckByMappings(benchmark::State& state) {
    const int32_t pid = child_with(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto process = ac::sys().open_process(static_cast<uint32_t>(pid), 0x410);
        if (!process) {
            state.SkipWithError("cannot open the target");
            break;
        }
        benchmark::DoNotOptimize(ac::run_manual_map_check(*process));
    }
}
BENCHMARK(BM_ManualMapCheckByMappings)->Arg(100)->Arg(300)->Arg(1200)->Arg(4800)->Unit(benchmark::kMicrosecond);

void BM_WriteHandleScan(benchmark::State& state) {
    const int32_t pid = child_with(300);
    for (auto _ : state) {
        ac::ReportRecord r = ac::seeded_record(ac::kProcessRecordSeed);
        benchmark::DoNotOptimize(ac::scan_external_write_handles(pid, r));
    }
}
BENCHMARK(BM_WriteHandleScan)->Unit(benchmark::kMillisecond);

}  // namespace
