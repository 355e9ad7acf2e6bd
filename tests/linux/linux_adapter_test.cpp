// The Linux adapter against the real system: forked children with known
// memory, threads, open /proc/PID/mem descriptors and a ptrace tracer, plus
// the /proc and sysfs parsers on crafted text.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/linux/address_space.hpp"
#include "platform/linux/linux_adapter.hpp"
#include "platform/linux/procfs.hpp"
#include "platform/system.hpp"
#include "support/forked_child.hpp"

namespace ac {
namespace {

using namespace ac::win;

using Child = test::ForkedChild<uint64_t>;

Child sleeper() {
    return Child([] { return uint64_t{0}; });
}

System& os() { return native_system(); }

std::vector<MemoryRegion> walk(ProcessHandle& h) {
    std::vector<MemoryRegion> out;
    uint64_t address = 0;
    while (auto r = h.query_region(address)) {
        out.push_back(*r);
        if (r->base + r->size <= address) break;
        address = r->base + r->size;
    }
    return out;
}

// ---------------------------------------------------------------- memory

TEST(LinuxProcessMemory, AnonymousExecutableMemoryIsPrivateReadableAndBounded) {
    // Two RWX pages with a pattern, then a PROT_NONE page right after them.
    Child child([] {
        auto* p = static_cast<uint8_t*>(
            ::mmap(nullptr, 3 * 4096, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        for (int i = 0; i < 2 * 4096; ++i) p[i] = static_cast<uint8_t>(i * 7 + 3);
        ::mprotect(p + 2 * 4096, 4096, PROT_NONE);
        return reinterpret_cast<uint64_t>(p);
    });
    ASSERT_TRUE(child.answered());
    const uint64_t block = child.answer();
    auto h = os().open_process(child.pid(), PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    ASSERT_TRUE(h);

    auto regions = walk(*h);
    ASSERT_GT(regions.size(), 3u);
    EXPECT_EQ(regions.front().base, 0u);
    EXPECT_EQ(regions.back().base + regions.back().size, lx::kUserSpaceEnd);
    for (size_t i = 1; i < regions.size(); ++i) EXPECT_EQ(regions[i].base, regions[i - 1].base + regions[i - 1].size);
    auto rwx = std::find_if(regions.begin(), regions.end(), [&](auto& r) { return r.base == block; });
    ASSERT_NE(rwx, regions.end());
    EXPECT_EQ(rwx->size, 2 * 4096u);
    EXPECT_EQ(rwx->type, MEM_PRIVATE);
    EXPECT_EQ(rwx->protect, PAGE_EXECUTE_READWRITE);
    EXPECT_EQ(rwx->state, MEM_COMMIT);
    EXPECT_EQ(rwx[1].protect, PAGE_NOACCESS);
    EXPECT_EQ(rwx[1].state, MEM_COMMIT);
    EXPECT_TRUE(std::any_of(regions.begin(), regions.end(), [](auto& r) { return r.state == MEM_FREE; }));

    // A query inside a region answers from that page to the region's end.
    auto mid = h->query_region(block + 4096 + 5);
    ASSERT_TRUE(mid);
    EXPECT_EQ(mid->base, block + 4096);
    EXPECT_EQ(mid->size, 4096u);
    EXPECT_EQ(mid->allocation_base, block);

    std::vector<uint8_t> bytes(2 * 4096 + 64, 0xEE);
    ReadResult full = h->read_memory(block, bytes.data(), 2 * 4096);
    EXPECT_TRUE(full.ok);
    EXPECT_EQ(full.bytes, 2 * 4096u);
    for (int i = 0; i < 2 * 4096; ++i) ASSERT_EQ(bytes[i], static_cast<uint8_t>(i * 7 + 3)) << i;
    EXPECT_EQ(bytes[2 * 4096], 0xEE) << "wrote past the request";

    ReadResult partial = h->read_memory(block + 2 * 4096 - 16, bytes.data(), 64);
    EXPECT_FALSE(partial.ok);
    EXPECT_EQ(partial.bytes, 16u);
    ReadResult none = h->read_memory(block + 2 * 4096, bytes.data(), 64);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.bytes, 0u);

    // Without read access the memory stays closed, as on Windows.
    auto limited = os().open_process(child.pid(), PROCESS_QUERY_LIMITED_INFORMATION);
    ASSERT_TRUE(limited);
    EXPECT_FALSE(limited->read_memory(block, bytes.data(), 16).ok);
    EXPECT_FALSE(limited->query_region(block));
}

TEST(LinuxProcessMemory, ImagesAreModulesWithTheMainExecutableFirst) {
    Child child = sleeper();
    auto modules = os().module_snapshot(child.pid());
    ASSERT_TRUE(modules);
    ASSERT_GE(modules->size(), 2u);
    char exe[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);  // the fork runs our program
    EXPECT_EQ(modules->front().path, exe);
    for (size_t i = 2; i < modules->size(); ++i) EXPECT_LT((*modules)[i - 1].base, (*modules)[i].base);

    auto libc = std::find_if(modules->begin(), modules->end(),
                             [](auto& m) { return m.path.find("/libc.so") != std::string::npos; });
    ASSERT_NE(libc, modules->end());
    auto h = os().open_process(child.pid(), PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    ASSERT_TRUE(h);
    char magic[4] = {};
    EXPECT_TRUE(h->read_memory(libc->base, magic, 4).ok);
    EXPECT_EQ(std::string(magic, 4), "\x7f" "ELF") << "base is not the file's offset-0 mapping";

    // The code of our program is image memory that belongs to the main module.
    auto code = h->query_region(reinterpret_cast<uint64_t>(&sleeper));
    ASSERT_TRUE(code);
    EXPECT_EQ(code->type, MEM_IMAGE);
    EXPECT_EQ(code->protect, PAGE_EXECUTE_READ);
    EXPECT_EQ(code->allocation_base, modules->front().base);
    EXPECT_FALSE(os().module_snapshot(0));
}

// ---------------------------------------------------------------- processes and threads

TEST(LinuxProcesses, SnapshotsCountThreadsAndNameTheProgram) {
    Child child([] {
        for (int i = 0; i < 3; ++i) {
            pthread_t t;
            ::pthread_create(&t, nullptr, [](void*) -> void* { for (;;) ::pause(); }, nullptr);
        }
        return uint64_t{0};
    });
    ASSERT_TRUE(child.answered());
    auto threads = os().thread_snapshot();
    ASSERT_TRUE(threads);
    std::vector<uint32_t> tids;
    for (auto& t : *threads)
        if (t.owner_pid == child.pid()) tids.push_back(t.tid);
    EXPECT_EQ(tids.size(), 4u);
    EXPECT_TRUE(std::count(tids.begin(), tids.end(), child.pid()));

    auto processes = os().process_snapshot();
    ASSERT_TRUE(processes);
    auto entry = std::find_if(processes->begin(), processes->end(), [&](auto& p) { return p.pid == child.pid(); });
    ASSERT_NE(entry, processes->end());
    EXPECT_EQ(entry->parent_pid, os().current_pid());
    EXPECT_EQ(entry->thread_count, 4u);
    EXPECT_EQ(entry->exe_name, "linux_tests");

    // A sleeping thread sits in a system call inside libc's code.
    uint32_t worker = *std::find_if(tids.begin(), tids.end(), [&](uint32_t t) { return t != child.pid(); });
    std::optional<uint64_t> ip;
    for (int tries = 0; tries < 100 && !ip; ++tries) {  // "running" until it reaches pause()
        ip = os().thread_start_address(child.pid(), worker);
        if (!ip) ::usleep(10000);
    }
    ASSERT_TRUE(ip);
    auto h = os().open_process(child.pid(), PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    ASSERT_TRUE(h);
    auto region = h->query_region(*ip);
    ASSERT_TRUE(region);
    EXPECT_EQ(region->type, MEM_IMAGE);
    EXPECT_EQ(region->protect, PAGE_EXECUTE_READ);
    EXPECT_FALSE(os().thread_start_address(os().current_pid(), worker)) << "a thread of another process";
}

TEST(LinuxProcesses, ExitCodeFollowsTheProcessThroughZombieAndReaping) {
    Child running = sleeper();
    auto live = os().open_process(running.pid(), PROCESS_QUERY_LIMITED_INFORMATION);
    ASSERT_TRUE(live);
    EXPECT_EQ(live->exit_code(), STILL_ACTIVE);
    char exe[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    EXPECT_EQ(live->image_path(), std::string(exe));

    Child ended([]() -> uint64_t { ::_exit(3); });
    EXPECT_FALSE(ended.answered());
    ended.wait_ended();
    auto h = os().open_process(ended.pid(), PROCESS_QUERY_LIMITED_INFORMATION);
    ASSERT_TRUE(h) << "a zombie can still be opened";
    EXPECT_EQ(h->exit_code(), 0u);
    uint32_t gone = ended.pid();
    ended.reap();
    EXPECT_EQ(h->exit_code(), 0u) << "reaped, yet the handle still knows it ended";
    EXPECT_FALSE(h->image_path());
    EXPECT_FALSE(os().open_process(gone, PROCESS_QUERY_LIMITED_INFORMATION));
    EXPECT_FALSE(os().open_process(0, PROCESS_QUERY_LIMITED_INFORMATION));
}

TEST(LinuxProcesses, StartTimeAndAccount) {
    Child child = sleeper();
    auto start = os().process_start_time(child.pid());
    ASSERT_TRUE(start);
    std::tm expected{};
    expected.tm_year = start->year - 1900;
    expected.tm_mon = start->month - 1;
    expected.tm_mday = start->day;
    expected.tm_hour = start->hour;
    expected.tm_min = start->minute;
    expected.tm_sec = start->second;
    time_t started = ::timegm(&expected);
    EXPECT_LE(std::llabs(static_cast<long long>(started - ::time(nullptr))), 5) << "btime + starttime is not now";

    TokenIdentity id = os().token_identity(child.pid());
    auto host = os().computer_name();
    ASSERT_TRUE(host);
    EXPECT_LE(host->size(), 15u);
    EXPECT_EQ(id.account.substr(0, host->size() + 1), *host + "\\");
    EXPECT_EQ(id.integrity_rid, ::getuid() == 0 ? 0x4000u : 0x2000u);
    EXPECT_TRUE(os().token_identity(0).account.empty());
}

// ---------------------------------------------------------------- handle list and debugging

const SystemHandle* find_handle(const HandleQuery& q, uint32_t holder, uint64_t object) {
    for (auto& h : q.handles)
        if (h.holder_pid == holder && h.object == object) return &h;
    return nullptr;
}

TEST(LinuxHandleList, ListsMemDescriptorsPidfdsAndTracers) {
    Child target = sleeper();
    const std::string mem = "/proc/" + std::to_string(target.pid()) + "/mem";
    Child writer([&] { return static_cast<uint64_t>(::open(mem.c_str(), O_WRONLY)); });
    Child reader([&] { return static_cast<uint64_t>(::open(mem.c_str(), O_RDONLY)); });
    Child tracer([&] { return static_cast<uint64_t>(::ptrace(PTRACE_SEIZE, target.pid(), nullptr, nullptr)); });
    ASSERT_TRUE(writer.answered() && reader.answered() && tracer.answered());
    ASSERT_GE(static_cast<int64_t>(writer.answer()), 0) << "open for writing failed";
    ASSERT_GE(static_cast<int64_t>(reader.answer()), 0) << "open for reading failed";
    ASSERT_EQ(tracer.answer(), 0u) << "PTRACE_SEIZE failed";
    auto ours = os().open_process(target.pid(), PROCESS_QUERY_LIMITED_INFORMATION);
    ASSERT_TRUE(ours);

    HandleQuery q = os().query_system_handles();
    ASSERT_TRUE(q.ok);
    EXPECT_EQ(q.status, 0u);

    const SystemHandle* w = find_handle(q, writer.pid(), target.pid());
    ASSERT_TRUE(w);
    EXPECT_EQ(w->handle_value, writer.answer());
    EXPECT_TRUE(w->granted_access & PROCESS_VM_WRITE);
    EXPECT_TRUE(w->granted_access & PROCESS_VM_OPERATION);
    const SystemHandle* r = find_handle(q, reader.pid(), target.pid());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->granted_access, PROCESS_VM_READ | PROCESS_QUERY_LIMITED_INFORMATION);

    const SystemHandle* pidfd = find_handle(q, os().current_pid(), target.pid());
    ASSERT_TRUE(pidfd);
    EXPECT_EQ(pidfd->handle_value, ours->value());
    EXPECT_FALSE(pidfd->granted_access & (PROCESS_VM_WRITE | PROCESS_VM_READ));

    const SystemHandle* t = find_handle(q, tracer.pid(), target.pid());
    ASSERT_TRUE(t);
    EXPECT_EQ(t->handle_value, 0u);
    EXPECT_EQ(t->granted_access, PROCESS_ALL_ACCESS);

    DebugSignals traced = os().debug_signals(target.pid());
    EXPECT_TRUE(traced.examined);
    EXPECT_EQ(traced.tracer_pid, tracer.pid());
    DebugSignals free_one = os().debug_signals(writer.pid());
    EXPECT_EQ(free_one.tracer_pid, 0u);
    EXPECT_TRUE(os().host_debug_signals().examined);
    EXPECT_FALSE(os().debug_signals(0).examined);
}

// ---------------------------------------------------------------- files, digests, text

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/linux_adapter_XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string write(const std::string& name, const std::string& text) {
        std::string path = dir_ + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string dir_;
};

using LinuxFiles = TempDir;

TEST_F(LinuxFiles, FactsReadersAndTheirFailures) {
    std::string path = write("a.bin", "0123456789");
    timespec times[2] = {{1609459200, 123456789}, {1609459200, 123456789}};  // 2021-01-01T00:00:00.123456789Z
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(os().file_facts(path), (FileFacts{true, 10, 132539328001234567ull}));
    EXPECT_EQ(os().file_facts(dir_ + "/missing"), FileFacts{});
    EXPECT_EQ(os().file_facts(dir_).size, 0u);
    EXPECT_EQ(lx::filetime_from_unix(-11644473600, 0), 0u);
    EXPECT_EQ(lx::filetime_from_unix(-20000000000, 0), 0u);

    auto file = os().open_file(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size(), 10u);
    ASSERT_TRUE(file->seek(4));
    char buf[16] = {};
    EXPECT_EQ(file->read(buf, sizeof buf), 6u);
    EXPECT_EQ(std::string(buf, 6), "456789");
    EXPECT_EQ(file->read(buf, sizeof buf), 0u);

    auto dir = os().open_file(dir_);
    ASSERT_TRUE(dir);
    EXPECT_FALSE(dir->read(buf, sizeof buf));
    EXPECT_FALSE(os().open_file(dir_ + "/missing"));
    // A pipe or device could block or never end; only files are read.
    std::string fifo = dir_ + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(os().open_file(fifo));
    EXPECT_FALSE(os().open_file("/dev/zero"));
}

TEST(LinuxDigest, Md5OfAbcAndFinishedHashRefusesData) {
    auto h = os().md5();
    ASSERT_TRUE(h);
    EXPECT_TRUE(h->update("a", 1));
    EXPECT_TRUE(h->update("bc", 2));
    auto d = h->finish();
    ASSERT_TRUE(d);
    const uint8_t expected[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                  0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    EXPECT_EQ(std::memcmp(d->data(), expected, 16), 0);
    EXPECT_FALSE(h->update("x", 1));
    EXPECT_EQ(h->finish(), d);
}

TEST(LinuxText, Windows1252AndUtf8Conversions) {
    EXPECT_EQ(os().ansi_to_wide("caf\xe9 \x80\x9f"), u"caf\u00e9 \u20ac\u0178");
    EXPECT_EQ(os().wide_to_utf8(u"caf\u00e9 \u20ac\U0001F600"), "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80");
    std::string_view with_nul("a\0b", 3);
    EXPECT_EQ(os().ansi_to_wide(with_nul), std::u16string(u"a\0b", 3));
    // Windows-1252 leaves these five bytes undefined; glibc refuses them.
    for (char undefined : {'\x81', '\x8d', '\x8f', '\x90', '\x9d'})
        EXPECT_FALSE(os().ansi_to_wide(std::string("ok") + undefined)) << int(static_cast<uint8_t>(undefined));
    EXPECT_FALSE(os().ansi_to_wide(""));
    EXPECT_FALSE(os().wide_to_utf8(u""));
    EXPECT_FALSE(os().wide_to_utf8(std::u16string(1, u'\xd800'))) << "lone surrogate";
    // A failure leaves no state behind for the next conversion.
    EXPECT_EQ(os().wide_to_utf8(u"x"), "x");
}

// ---------------------------------------------------------------- parsers and sysfs

TEST(ProcfsParsers, StatLineWithParenthesesInTheName) {
    auto s = lx::parse_stat("4321 (a) (b c) S 17 1 1 0 -1 4194560 1 0 0 0 0 0 0 0 20 0 7 0 998877 0 0\n");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->pid, 4321u);
    EXPECT_EQ(s->comm, "a) (b c");
    EXPECT_EQ(s->state, 'S');
    EXPECT_EQ(s->ppid, 17u);
    EXPECT_EQ(s->num_threads, 7u);
    EXPECT_EQ(s->starttime, 998877u);
    EXPECT_FALSE(lx::parse_stat("4321 (x) S 17"));
    EXPECT_EQ(lx::syscall_instruction_pointer("7 0x1 0x2 0x3 0x4 0x5 0x6 0x7ffc 0x7f00aa\n"), 0x7f00aau);
    EXPECT_EQ(lx::syscall_instruction_pointer("-1 0x7ffc 0x401000\n"), 0x401000u);
    EXPECT_FALSE(lx::syscall_instruction_pointer("running\n"));
    EXPECT_EQ(lx::field_number("Name:\tx\nPid:\t-1\nflags:\t02100001\n", "flags:", 8), 02100001u);
    EXPECT_FALSE(lx::field_number("Pid:\t-1\n", "Pid:"));
}

TEST(ProcfsParsers, MapsBecomeWindowsRegionsAndModules) {
    const char* maps =
        "400000-401000 r--p 00000000 08:01 100 /opt/game bin\n"
        "401000-402000 r-xp 00001000 08:01 100 /opt/game bin\n"
        "402000-403000 rw-p 00002000 08:01 100 /opt/game bin\n"
        "403000-404000 rw-p 00000000 00:00 0 \n"
        "500000-520000 rw-p 00000000 00:00 0 [heap]\n"
        "7f0000000000-7f0000001000 r--p 00000000 08:01 200 /usr/lib/locale/locale-archive\n"
        "7f0000001000-7f0000002000 rw-s 00000000 00:05 300 /dev/zero (deleted)\n"
        "7f0000002000-7f0000003000 rwxs 00000000 00:01 301 /dev/zero (deleted)\n"
        "7f0000003000-7f0000004000 r-xp 00000000 00:01 302 /memfd:jit (deleted)\n"
        "7f0000004000-7f0000005000 rw-p 00000000 00:0f 303 /anon_hugepage (deleted)\n"
        "7f0000010000-7f0000011000 r--p 00000000 08:01 400 /usr/lib/libc.so.6\n"
        "7f0000011000-7f0000013000 r-xp 00001000 08:01 400 /usr/lib/libc.so.6\n"
        "7f0000020000-7f0000021000 r-xp 00000000 00:00 0 [vdso]\n"
        "7ffc00000000-7ffc00021000 rw-p 00000000 00:00 0 [stack]\n"
        "ffffffffff600000-ffffffffff601000 --xp 00000000 00:00 0 [vsyscall]\n"
        "garbage line\n";
    auto lines = lx::parse_maps(maps);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[0].path, "/opt/game bin");
    lx::AddressSpace space(lines);
    auto at = [&](uint64_t a) { return *space.query(a); };

    EXPECT_EQ(at(0x401000).type, MEM_IMAGE);
    EXPECT_EQ(at(0x401000).protect, PAGE_EXECUTE_READ);
    EXPECT_EQ(at(0x401000).allocation_base, 0x400000u);
    EXPECT_EQ(at(0x402000).protect, PAGE_WRITECOPY);
    EXPECT_EQ(at(0x402000).type, MEM_IMAGE);
    EXPECT_EQ(at(0x403000).type, MEM_PRIVATE);
    EXPECT_EQ(at(0x510000).type, MEM_PRIVATE);
    EXPECT_EQ(at(0x510000).protect, PAGE_READWRITE);
    EXPECT_EQ(at(0x7f0000000000).type, MEM_MAPPED);
    EXPECT_EQ(at(0x7f0000001000).type, MEM_MAPPED);
    EXPECT_EQ(at(0x7f0000001000).protect, PAGE_READWRITE);
    // Shared anonymous memory and memfds look like files but are no images.
    EXPECT_EQ(at(0x7f0000002000).type, MEM_MAPPED);
    EXPECT_EQ(at(0x7f0000002000).protect, PAGE_EXECUTE_READWRITE);
    EXPECT_EQ(at(0x7f0000003000).type, MEM_MAPPED);
    EXPECT_EQ(at(0x7f0000004000).type, MEM_PRIVATE);
    EXPECT_EQ(at(0x7f0000004000).protect, PAGE_READWRITE);
    EXPECT_EQ(at(0x7f0000012000).allocation_base, 0x7f0000010000u);
    EXPECT_EQ(at(0x7f0000020000).type, MEM_IMAGE);
    EXPECT_EQ(at(0x7ffc00000000).type, MEM_PRIVATE);

    MemoryRegion gap = at(0x404123);
    EXPECT_EQ(gap.state, MEM_FREE);
    EXPECT_EQ(gap.base, 0x404000u);
    EXPECT_EQ(gap.size, 0x500000u - 0x404000u);
    MemoryRegion tail = at(0x7ffc00021000);
    EXPECT_EQ(tail.state, MEM_FREE);
    EXPECT_EQ(tail.base + tail.size, lx::kUserSpaceEnd);
    EXPECT_FALSE(space.query(lx::kUserSpaceEnd));
    EXPECT_EQ(at(0xffffffffff600000).type, MEM_IMAGE);
    EXPECT_EQ(at(0xffffffffff600000).protect, PAGE_EXECUTE);

    auto modules = lx::image_modules(lines, "/usr/lib/libc.so.6");
    ASSERT_EQ(modules.size(), 2u) << "data files and anonymous memory are no modules";
    EXPECT_EQ(modules[0].path, "/usr/lib/libc.so.6");
    EXPECT_EQ(modules[0].base, 0x7f0000010000u);
    EXPECT_EQ(modules[0].size, 0x3000u);
    EXPECT_EQ(modules[1].path, "/opt/game bin");
    EXPECT_EQ(modules[1].size, 0x3000u);
}

using LinuxSysfs = TempDir;

TEST_F(LinuxSysfs, DisplayFromDrmAndPowerFromMains) {
    EXPECT_FALSE(lx::display_adapter(dir_ + "/drm"));
    EXPECT_FALSE(lx::display_mode(dir_ + "/drm"));
    write("drm/card0/device/vendor", "0x8086\n");
    write("drm/card0/device/device", "0x3e92\n");
    write("drm/card0-HDMI-A-1/status", "disconnected\n");
    write("drm/card0-DP-1/status", "connected\n");
    write("drm/card0-DP-1/modes", "2560x1440\n1920x1080\n");
    write("drm/version", "drm 1.1.0\n");
    std::filesystem::create_directory_symlink("../../bus/pci/drivers/i915", dir_ + "/drm/card0/device/driver");
    EXPECT_EQ(lx::display_adapter(dir_ + "/drm"), "i915 (PCI 8086:3e92)");
    auto mode = lx::display_mode(dir_ + "/drm");
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->width, 2560u);
    EXPECT_EQ(mode->height, 1440u);
    EXPECT_EQ(mode->frequency, 0u);

    EXPECT_FALSE(lx::ac_line_status(dir_ + "/power"));
    write("power/BAT0/type", "Battery\n");
    write("power/BAT0/online", "1\n");
    EXPECT_FALSE(lx::ac_line_status(dir_ + "/power")) << "a battery is no mains supply";
    write("power/AC/type", "Mains\n");
    write("power/AC/online", "0\n");
    EXPECT_EQ(lx::ac_line_status(dir_ + "/power"), 0);
    write("power/AC/online", "1\n");
    EXPECT_EQ(lx::ac_line_status(dir_ + "/power"), 1);
}

TEST(LinuxMachine, FixedAnswersOfTheStandIn) {
    EXPECT_EQ(os().system_directory_raw(), "/usr/lib");
    EXPECT_EQ(os().windows_directory_raw(), "/usr");
    EXPECT_EQ(os().trust_embedded(u"/bin/sh").result, TRUST_E_PROVIDER_UNKNOWN);
    EXPECT_FALSE(os().trust_catalog(u"/bin/sh", nullptr).verified);
    EXPECT_TRUE(os().ntdll_loaded() && os().handle_query_available());
    bool called = false;
    os().enum_windows([&](WindowRef&) { return called = true; });
    EXPECT_FALSE(called);
    EXPECT_TRUE(os().volume_serial_c());
    EXPECT_EQ(os().current_pid(), static_cast<uint32_t>(::getpid()));
}

}  // namespace
}  // namespace ac
