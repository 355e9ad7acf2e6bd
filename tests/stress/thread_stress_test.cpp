// Four threads call every operation behind the module's functions at once, on
// live child processes and on files that a fifth thread keeps touching and
// rewriting, so the per-file caches see hits, misses and invalidations. Run
// under ThreadSanitizer in CI; in the plain build it still checks that no
// answer depends on what the other threads do.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "checks/debugger_check.hpp"
#include "checks/thread_hijack_check.hpp"
#include "evidence/digest.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "evidence/signature.hpp"
#include "machine/hwid.hpp"
#include "machine/system_info.hpp"
#include "module/session.hpp"
#include "reports/fields.hpp"
#include "reports/cheat_process_scan.hpp"
#include "reports/module_report.hpp"
#include "reports/process_report.hpp"
#include "support/forked_child.hpp"

namespace ac {
namespace {

namespace fs = std::filesystem;

double seconds_to_run() {
    const char* text = std::getenv("ANTICHEAT_STRESS_SECONDS");
    double s = text ? std::atof(text) : 0;
    return s > 0 ? s : 3.0;
}

bool same(const ReportRecord& a, const ReportRecord& b, std::string_view key) {
    return a.at(std::string(key)) == b.at(std::string(key));
}

std::set<std::string> keys_of(const ReportRecord& r) {
    std::set<std::string> out;
    for (auto& [k, _] : r) out.insert(k);
    return out;
}

// Copies of the test's own libraries in a scratch folder: the "game" child
// maps them executable, and the workers also hash and fingerprint them
// directly. Two plain files alternate between two contents.
struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("anticheat_stress_" + std::to_string(::getpid()));
    std::vector<fs::path> libraries, rewritten;
    // One length: a file read by the size its facts gave is then always one
    // whole content, even when the other took its name in between.
    const std::string contents[2] = {std::string(70000, 'a'), std::string(70000, 'b')};

    Scratch() {
        fs::create_directories(dir);
        std::set<std::string> seen;
        std::ifstream maps("/proc/self/maps");
        for (std::string line; std::getline(maps, line);) {
            auto slash = line.find('/');
            if (slash == std::string::npos || line.find(".so") == std::string::npos) continue;
            fs::path source = line.substr(slash);
            if (!seen.insert(source.filename().string()).second || libraries.size() >= 8) continue;
            std::error_code ec;
            fs::copy_file(source, dir / source.filename(), ec);
            if (!ec) libraries.push_back(dir / source.filename());
        }
        for (int i = 0; i < 2; ++i) {
            rewritten.push_back(dir / ("rewritten" + std::to_string(i) + ".bin"));
            std::ofstream(rewritten.back(), std::ios::binary) << contents[i];
        }
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

TEST(ThreadStress, EveryOperationAtOnceGivesWhatItGivesAlone) {
    Scratch scratch;
    ASSERT_GE(scratch.libraries.size(), 2u);

    // The game: maps every copied library executable and runs a few threads.
    test::ForkedChild<uint64_t> game([&] {
        for (auto& path : scratch.libraries) ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        for (int i = 0; i < 4; ++i) std::thread([] { for (;;) ::pause(); }).detach();
        return uint64_t{1};
    });
    // A program run from a copy outside /usr, which the heavy sweep hashes.
    const fs::path program = scratch.dir / "sleeper";
    fs::copy_file("/usr/bin/sleep", program);
    pid_t sleeper = ::fork();
    if (sleeper == 0) ::execl(program.c_str(), "sleeper", "600", nullptr), ::_exit(127);
    ASSERT_TRUE(game.answered() && sleeper > 0);
    const auto pid = static_cast<int32_t>(game.pid());
    const std::string dir = scratch.dir.string();

    // What each call gives alone, before any other thread runs.
    const std::string hwid = get_hwid();
    const ReportRecord system_info = get_system_info(), cheat = detect_cheat_process_record();
    const bool cheat_detected = is_cheat_detected(), debugger = host_debugger_attached();
    const auto modules = inspect_process_modules_records(pid, dir.c_str(), "heavy");
    const ReportRecord process = inspect_process_record(pid, dir.c_str(), "heavy");
    std::set<std::string> digests[2];
    for (int i = 0; i < 2; ++i) digests[i].insert(buffer_md5(scratch.contents[i].data(), scratch.contents[i].size()));

    std::atomic<bool> stop{false};
    std::atomic<long> calls{0}, mismatches{0};
    auto expect = [&](bool same) { if (!same) ++mismatches; };

    auto worker = [&](int id) {
        // Every operation at least once per thread, however slow the build (a sanitizer's is).
        for (long round = 0; round < 6 || !stop.load(); ++round) {
            switch ((round + id) % 6) {
                case 0:
                    expect(get_hwid() == hwid && get_system_info() == system_info);
                    expect(detect_cheat_process_record() == cheat && is_cheat_detected() == cheat_detected);
                    expect(host_debugger_attached() == debugger);
                    break;
                case 1:
                    initialize_session(nullptr);
                    verify_game_integrity();
                    shutdown_session();
                    thread_hijack_detected(pid);
                    break;
                case 2: {
                    // The copies are touched meanwhile, so dates and digests may move; the shape may not.
                    const char* level = id % 2 ? "heavy" : "medium";
                    auto now = inspect_process_modules_records(pid, dir.c_str(), level);
                    expect(now.size() == modules.size());
                    for (size_t i = 0; i < now.size() && i < modules.size(); ++i)
                        expect(keys_of(now[i]) == keys_of(modules[i]) &&
                               now[i].at(std::string(mod_key::path)) == modules[i].at(std::string(mod_key::path)));
                    break;
                }
                case 3: {
                    auto now = inspect_process_record(pid, dir.c_str(), id % 2 ? "heavy" : "cheap");
                    expect(keys_of(now) == keys_of(process) && same(now, process, proc_key::threadCount) &&
                           same(now, process, proc_key::executablePath));
                    break;
                }
                case 4:
                    for (auto& path : scratch.libraries) {
                        const std::string text = path.string();
                        FileFacts facts = get_file_facts(text);
                        file_md5(text, facts);
                        pe_fingerprint(text, facts);
                        signature_info(text, facts);
                    }
                    break;
                case 5:
                    for (auto& path : scratch.rewritten) {
                        const std::string text = path.string();
                        std::string md5 = file_md5(text, get_file_facts(text));
                        // Whichever content was read, never a mixture and never a failure.
                        expect(digests[0].count(md5) + digests[1].count(md5) == 1);
                    }
                    break;
            }
            ++calls;
        }
    };

    // Touches the mapped copies (new dates: cached entries go stale) and
    // swaps the two plain files' contents by renaming a fresh file in.
    auto mutator = [&] {
        for (int round = 0; !stop.load(); ++round) {
            for (auto& path : scratch.libraries) fs::last_write_time(path, fs::file_time_type::clock::now());
            for (size_t i = 0; i < scratch.rewritten.size(); ++i) {
                fs::path next = scratch.rewritten[i];
                next += ".next";
                std::ofstream(next, std::ios::binary) << scratch.contents[(round + i) % 2];
                fs::rename(next, scratch.rewritten[i]);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };

    std::vector<std::thread> threads;
    for (int id = 0; id < 4; ++id) threads.emplace_back(worker, id);
    threads.emplace_back(mutator);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds_to_run()));
    stop = true;
    for (auto& t : threads) t.join();
    ::kill(sleeper, SIGKILL);
    ::waitpid(sleeper, nullptr, 0);

    EXPECT_EQ(mismatches.load(), 0) << "of " << calls.load() << " rounds";
}

}  // namespace
}  // namespace ac
