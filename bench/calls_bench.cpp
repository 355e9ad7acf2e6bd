// The module's other calls on this process and this machine: the module
// inspection at each level (the benchmark's own modules, its folder as the
// game directory so its image is hashed from medium on), the quick verdicts
// and the machine record. Repeated calls: the file caches are warm.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>

#include "checks/thread_hijack_check.hpp"
#include "machine/hwid.hpp"
#include "machine/system_info.hpp"
#include "reports/cheat_process_scan.hpp"
#include "reports/module_report.hpp"

namespace {

const std::string& own_folder() {
    static const std::string folder = [] {
        char path[4096] = {};
        ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
        std::string p(path, n > 0 ? static_cast<size_t>(n) : 0);
        return p.substr(0, p.rfind('/') + 1);
    }();
    return folder;
}

void BM_InspectModules(benchmark::State& state) {
    static const char* const levels[] = {"cheap", "medium", "heavy"};
    const auto pid = static_cast<int32_t>(::getpid());
    for (auto _ : state)
        benchmark::DoNotOptimize(ac::inspect_process_modules_records(pid, own_folder().c_str(), levels[state.range(0)]));
}
BENCHMARK(BM_InspectModules)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_IsCheatDetected(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ac::is_cheat_detected());
}
BENCHMARK(BM_IsCheatDetected)->Unit(benchmark::kMillisecond);

void BM_DetectCheatProcess(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ac::detect_cheat_process_record());
}
BENCHMARK(BM_DetectCheatProcess)->Unit(benchmark::kMillisecond);

void BM_DetectThreadHijack(benchmark::State& state) {
    const auto pid = static_cast<int32_t>(::getpid());
    for (auto _ : state) benchmark::DoNotOptimize(ac::thread_hijack_detected(pid));
}
BENCHMARK(BM_DetectThreadHijack)->Unit(benchmark::kMillisecond);

void BM_GetHwid(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ac::get_hwid());
}
BENCHMARK(BM_GetHwid)->Unit(benchmark::kMicrosecond);

void BM_GetSystemInfo(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ac::get_system_info());
}
BENCHMARK(BM_GetSystemInfo)->Unit(benchmark::kMicrosecond);

}  // namespace
