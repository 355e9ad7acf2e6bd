// A hostile module: a small PE file grown to 32 GiB with holes (truncate), its
// code section 64 MiB of zeros 3 GiB into the file. Time and peak memory above
// the baseline of its fingerprint, its file digest and a whole module
// inspection of a process that maps it. ANTICHEAT_SPARSE_GIB changes the size.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "evidence/digest.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "reports/module_report.hpp"
#include "support/forked_child.hpp"
#include "support/pe_builder.hpp"

namespace {

namespace fs = std::filesystem;

uint64_t sparse_size() {
    const char* gib = std::getenv("ANTICHEAT_SPARSE_GIB");
    return uint64_t(gib ? std::strtoull(gib, nullptr, 10) : 32) << 30;
}

struct SparseModule {
    std::string dir, path;
    ~SparseModule() {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }
};

const SparseModule& sparse_module() {
    static const SparseModule module = [] {
        SparseModule m;
        char pattern[] = "/tmp/anticheat_sparse_XXXXXX";
        if (!::mkdtemp(pattern)) return m;
        m.dir = pattern;
        m.path = m.dir + "/huge.dll";
        ac::test::PeBuilder pe;
        pe.add_section(".text", std::vector<uint8_t>(512, 0xC3));
        pe.add_import("kernel32.dll", {ac::test::PeFunction::named("Sleep")});
        std::vector<uint8_t> bytes = pe.build();
        const uint32_t header = pe.section_table_offset(), raw_size = 64u << 20, raw_pointer = 3u << 30;
        for (int i = 0; i < 4; ++i) {
            bytes[header + 16 + i] = uint8_t(raw_size >> (8 * i));
            bytes[header + 20 + i] = uint8_t(raw_pointer >> (8 * i));
        }
        std::ofstream(m.path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        const std::string truncate = "truncate -s " + std::to_string(sparse_size()) + " " + m.path;
        if (std::system(truncate.c_str()) != 0) m.path.clear();
        return m;
    }();
    return module;
}

uint64_t status_kib(const char* field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return std::strtoull(line.c_str() + std::strlen(field), nullptr, 10);
    return 0;
}

// Runs `work` with the peak RSS reset first; gives the peak above the RSS before, in MiB.
template <class Work>
double peak_above_baseline_mib(Work&& work) {
    std::ofstream("/proc/self/clear_refs") << "5";  // VmHWM := VmRSS
    const uint64_t before = status_kib("VmRSS:");
    work();
    const uint64_t peak = status_kib("VmHWM:");
    return peak > before ? double(peak - before) / 1024.0 : 0.0;
}

template <class Work>
void measure(benchmark::State& state, Work&& work) {
    if (sparse_module().path.empty()) return state.SkipWithError("could not create the sparse file");
    double peak = 0;
    for (auto _ : state) peak = std::max(peak, peak_above_baseline_mib(work));
    state.counters["peak_rss_above_baseline_MiB"] = peak;
    state.counters["file_GiB"] = double(sparse_size() >> 30);
}

void BM_SparsePeFingerprint(benchmark::State& state) {
    const std::string& path = sparse_module().path;
    std::string status;
    // Uncached: the reader runs every time.
    measure(state, [&] { status = ac::read_pe_fingerprint(path, ac::get_file_facts(path)).status; });
    state.SetLabel(status);
}
BENCHMARK(BM_SparsePeFingerprint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SparseFileMd5(benchmark::State& state) {
    const std::string& path = sparse_module().path;
    std::string md5;
    measure(state, [&] { md5 = ac::file_md5(path, ac::FileFacts{}); });  // facts not found: never cached
    state.SetLabel(md5.empty() ? "not hashed" : md5);
}
BENCHMARK(BM_SparseFileMd5)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// A process that maps the file as code, inspected at medium with the file's
// folder as the game directory, so the module is digested and fingerprinted.
void BM_SparseModuleInspection(benchmark::State& state) {
    const SparseModule& module = sparse_module();
    ac::test::ForkedChild<uint64_t> child([&] {
        int fd = ::open(module.path.c_str(), O_RDONLY);
        void* at = fd < 0 ? MAP_FAILED : ::mmap(nullptr, 1 << 20, PROT_READ | PROT_EXEC, MAP_PRIVATE, fd, 0);
        return uint64_t(at != MAP_FAILED);
    });
    if (!child.answer()) return state.SkipWithError("the child could not map the file");
    std::string status;
    measure(state, [&] {
        auto records = ac::inspect_process_modules_records(int32_t(child.pid()), module.dir.c_str(), "medium");
        status.clear();
        for (const auto& r : records)
            if (r.at("path") == module.path) status = r.at("hashStatus") + "/" + r.at("peFingerprintStatus");
    });
    state.SetLabel(status);
}
BENCHMARK(BM_SparseModuleInspection)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
