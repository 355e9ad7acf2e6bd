// file_md5 over a 256 MiB file: cold (the page cache is warm, the digest cache
// is not), cached (no file is opened), and `openssl md5` on the same file in
// the same run as the yardstick.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "evidence/digest.hpp"
#include "platform/system.hpp"
#include "support/counting_system.hpp"

namespace {

constexpr size_t kFileSize = 256u << 20;

const std::string& bench_file() {
    static const std::string path = [] {
        std::string p = "/tmp/anticheat_digest_bench.bin";
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 2654435761u) >> 13);
        for (size_t done = 0; done < kFileSize; done += block.size()) out.write(block.data(), block.size());
        return p;
    }();
    return path;
}


void BM_FileMd5Cold(benchmark::State& state) {
    const std::string& path = bench_file();
    for (auto _ : state) {
        // Facts that are not found bypass the cache, so every call reads.
        benchmark::DoNotOptimize(ac::file_md5(path, ac::FileFacts{}));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileSize));
}
BENCHMARK(BM_FileMd5Cold)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_FileMd5Cached(benchmark::State& state) {
    const std::string& path = bench_file();
    ac::FileFacts facts = ac::get_file_facts(path);
    ac::file_md5(path, facts);  // fill the cache
    ac::test::CountingSystem counting;
    ac::ScopedSystemOverride use(counting);
    for (auto _ : state) benchmark::DoNotOptimize(ac::file_md5(path, facts));
    state.counters["file_opens"] = counting.file_opens;
}
BENCHMARK(BM_FileMd5Cached);

void BM_OpensslMd5Command(benchmark::State& state) {
    std::string command = "openssl md5 " + bench_file() + " > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("openssl md5 failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileSize));
}
BENCHMARK(BM_OpensslMd5Command)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

}  // namespace
