// PE fingerprints of every Wine built-in PE DLL: cold (each file read and
// parsed) and through the fingerprint cache (file facts in hand, no file
// opened; the "file_opens" counter shows it).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "evidence/pe_fingerprint.hpp"
#include "platform/system.hpp"
#include "support/counting_system.hpp"
#include "support/pe_builder.hpp"

namespace {

struct BenchFile {
    std::string path;
    ac::FileFacts facts;
};

const std::vector<BenchFile>& wine_dlls() {
    static const std::vector<BenchFile> files = [] {
        std::vector<BenchFile> out;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", ec))
            if (e.path().extension() == ".dll") out.push_back({e.path().string(), ac::sys().file_facts(e.path().string())});
        std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.path < b.path; });
        return out;
    }();
    return files;
}

uint64_t total_bytes() {
    uint64_t n = 0;
    for (const auto& f : wine_dlls()) n += f.facts.size;
    return n;
}

void BM_PeFingerprintCold(benchmark::State& state) {
    const auto& files = wine_dlls();
    if (files.empty()) return state.SkipWithError("no Wine DLLs installed");
    ac::test::CountingSystem counting;
    ac::ScopedSystemOverride use(counting);
    size_t parsed = 0;
    for (auto _ : state)
        for (const auto& f : files) parsed += ac::read_pe_fingerprint(f.path, f.facts).parsed;
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(files.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(total_bytes()));
    state.counters["files"] = double(files.size());
    state.counters["parsed_per_pass"] = double(parsed) / double(state.iterations());
    state.counters["file_opens_per_pass"] = double(counting.file_opens) / double(state.iterations());
}
BENCHMARK(BM_PeFingerprintCold)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_PeFingerprintCached(benchmark::State& state) {
    const auto& files = wine_dlls();
    if (files.empty()) return state.SkipWithError("no Wine DLLs installed");
    for (const auto& f : files) ac::pe_fingerprint(f.path, f.facts);  // first pass fills the cache
    ac::test::CountingSystem counting;
    ac::ScopedSystemOverride use(counting);
    for (auto _ : state)
        for (const auto& f : files) benchmark::DoNotOptimize(ac::pe_fingerprint(f.path, f.facts));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(files.size()));
    state.counters["files"] = double(files.size());
    state.counters["file_opens"] = counting.file_opens;
}
BENCHMARK(BM_PeFingerprintCached)->Unit(benchmark::kMicrosecond);

// The worst a hostile file can ask for within the format: 65535 sections,
// all named ".text" and each covering two megabytes of the file, none holding
// the imports; 128 descriptors of 512 named imports each, so every RVA lookup
// walks the whole section table.
void BM_PeFingerprintHostile(benchmark::State& state) {
    ac::test::PeBuilder b;
    for (int i = 0; i < 65534; ++i) {
        ac::test::PeSection s;
        s.name = ".text";
        s.raw_pointer = 0x200;
        s.raw_size = 2u << 20;
        s.virtual_address = 0x10000000u + 0x1000u * uint32_t(i);
        s.virtual_size = 0x1000;
        b.sections.push_back(std::move(s));
    }
    std::vector<ac::test::PeFunction> functions;
    for (int i = 0; i < 512; ++i) functions.push_back(ac::test::PeFunction::named(std::to_string(i) + "f"));
    for (int i = 0; i < 128; ++i) b.add_import(std::to_string(i) + ".dll", functions);
    const std::vector<uint8_t> bytes = b.build();
    for (auto _ : state) {
        ac::PeFingerprint fp = ac::parse_pe_fingerprint(bytes);
        if (fp.importMd5.empty() || fp.codeMd5.empty()) state.SkipWithError("hostile file did not parse fully");
        benchmark::DoNotOptimize(fp);
    }
    state.counters["file_bytes"] = double(bytes.size());
}
BENCHMARK(BM_PeFingerprintHostile)->Unit(benchmark::kMillisecond);

}  // namespace
