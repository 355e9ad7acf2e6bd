// The Linux adapter against forked children with known memory, handles and tracers, and the /proc parsers.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/address_space.hpp"
#include "platform/linux/linux_adapter.hpp"
#include "platform/linux/posix_io.hpp"
#include "platform/linux/procfs.hpp"
#include "platform/linux/vma_query.hpp"
#include "support/forked_child.hpp"

namespace ac {
namespace {

using namespace ac::win;
using Child = test::ForkedChild<uint64_t>;

System& os() { return native_system(); }

TEST(LinuxChildProcess, RegionWalkReadsModulesAndThreads) {
    Child child([] {  // two RWX pages with a pattern, then a PROT_NONE page; three more threads
        auto* p = static_cast<uint8_t*>(
            ::mmap(nullptr, 3 * 4096, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        for (int i = 0; i < 2 * 4096; ++i) p[i] = static_cast<uint8_t>(i * 7 + 3);
        ::mprotect(p + 2 * 4096, 4096, PROT_NONE);
        pthread_t t;
        for (int i = 0; i < 3; ++i) ::pthread_create(&t, nullptr, [](void*) -> void* { for (;;) ::pause(); }, nullptr);
        return reinterpret_cast<uint64_t>(p);
    });
    const uint64_t block = child.answer();
    auto h = os().open_process(child.pid(), PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    ASSERT_TRUE(child.answered() && h);
    std::vector<MemoryRegion> regions;
    for (uint64_t a = 0; auto r = h->query_region(a); a = regions.back().base + regions.back().size)
        if (regions.push_back(*r); r->base + r->size <= a) break;
    ASSERT_TRUE(regions.size() > 3 && regions.front().base == 0 &&
                regions.back().base + regions.back().size == lx::kUserSpaceEnd);
    auto rwx = std::find_if(regions.begin(), regions.end(), [&](auto& r) { return r.base == block; });
    ASSERT_NE(rwx, regions.end());
    EXPECT_EQ(std::tuple(rwx->size, rwx->type, rwx->protect, rwx->state, rwx[1].protect),
              std::tuple(2 * 4096ull, MEM_PRIVATE, PAGE_EXECUTE_READWRITE, MEM_COMMIT, PAGE_NOACCESS));

    std::vector<uint8_t> bytes(2 * 4096 + 64, 0xEE);  // short reads land where the full read put the same bytes
    ReadResult full = h->read_memory(block, bytes.data(), 2 * 4096),
               partial = h->read_memory(block + 2 * 4096 - 16, &bytes[2 * 4096 - 16], 64),
               none = h->read_memory(block + 2 * 4096, &bytes[2 * 4096], 64);
    EXPECT_EQ(std::tuple(full.ok, full.bytes, partial.ok, partial.bytes, none.ok, none.bytes),
              std::tuple(true, size_t{2 * 4096}, false, size_t{16}, false, size_t{0}));
    for (int i = 0; i <= 2 * 4096; ++i) ASSERT_EQ(bytes[i], i < 2 * 4096 ? static_cast<uint8_t>(i * 7 + 3) : 0xEE) << i;
    auto limited = os().open_process(child.pid(), PROCESS_QUERY_LIMITED_INFORMATION);
    EXPECT_TRUE(limited && !limited->read_memory(block, bytes.data(), 16).ok && !limited->query_region(block));

    auto modules = os().module_snapshot(child.pid()); auto threads = os().thread_snapshot();
    ASSERT_TRUE(modules && modules->size() >= 2 && threads && !os().module_snapshot(0));
    EXPECT_EQ(modules->front().path, std::filesystem::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(std::count_if(threads->begin(), threads->end(), [&](auto& t) { return t.owner_pid == child.pid(); }), 4);
    // One process's own task list gives the snapshot's count; a thread id leads no process.
    uint32_t other_tid = 0;
    for (auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(child.pid()) + "/task"))
        if (uint32_t tid = std::stoul(task.path().filename().string()); tid != child.pid()) other_tid = tid;
    EXPECT_EQ(std::tuple(os().thread_count(child.pid()), os().thread_count(other_tid), os().thread_count(0)),
              std::tuple(4, 0, 0));
}

TEST(LinuxChildProcess, RunsOnAfterItsMainThreadEndsAndEndsWhenReaped) {
    Child child([] {  // a second thread lives on; SIGUSR1 ends the main thread alone
        pthread_t t;
        ::pthread_create(&t, nullptr, [](void*) -> void* { for (;;) ::pause(); }, nullptr);
        ::signal(SIGUSR1, [](int) { ::syscall(SYS_exit, 0); });
        ::prctl(PR_SET_NAME, "not_the_exe");  // the name must come from the executable, not the thread
        return uint64_t{1};
    });
    auto h = os().open_process(child.pid(), PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    ASSERT_TRUE(child.answered() && h);
    ::syscall(SYS_tgkill, child.pid(), child.pid(), SIGUSR1);
    auto main_thread_state = [path = "/proc/" + std::to_string(child.pid()) + "/stat"] {
        auto stat = lx::parse_stat(lx::read_file(path).value_or(""));
        return stat ? stat->state : '?';
    };
    for (int i = 0; i < 5000 && main_thread_state() != 'Z'; ++i) ::usleep(1000);
    ASSERT_EQ(main_thread_state(), 'Z');
    static const char known[] = "still here";  // at the same address in the forked child
    char copy[sizeof known] = {};
    ReadResult read = h->read_memory(reinterpret_cast<uintptr_t>(known), copy, sizeof copy);
    EXPECT_EQ(std::tuple(h->exit_code(), read.ok, std::string(copy)),
              std::tuple(std::optional<uint32_t>(STILL_ACTIVE), true, std::string(known)));
    auto late = os().open_process(child.pid(), PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);  // opened only now
    char again[sizeof known] = {};
    EXPECT_TRUE(late && late->read_memory(reinterpret_cast<uintptr_t>(known), again, sizeof again).ok &&
                std::string(again) == known && os().file_facts(late->image_content_path()).found);
    auto region = h->query_region(reinterpret_cast<uintptr_t>(known));  // maps and exe from a running thread
    auto modules = os().module_snapshot(child.pid());
    EXPECT_TRUE(region && region->state == MEM_COMMIT && modules && !modules->empty() && h->image_path() &&
                modules->front().path == std::filesystem::read_symlink("/proc/self/exe").string());
    auto listed = os().process_snapshot();
    ASSERT_TRUE(listed);
    auto entry = std::find_if(listed->begin(), listed->end(), [&](auto& e) { return e.pid == child.pid(); });
    ASSERT_TRUE(entry != listed->end());
    EXPECT_EQ(std::pair(entry->exe_name, entry->image_path), std::pair(std::string("linux_tests"), h->image_path()));
    child.reap();
    EXPECT_EQ(h->exit_code(), std::optional<uint32_t>(0));
}

TEST(LinuxHandleList, ListsMemDescriptorsPidfdsAndTracers) {
    Child target([] { return uint64_t{0}; }); const std::string mem = "/proc/" + std::to_string(target.pid()) + "/mem";
    Child writer([&] { return static_cast<uint64_t>(::open(mem.c_str(), O_WRONLY)); });
    Child reader([&] { return static_cast<uint64_t>(::open(mem.c_str(), O_RDONLY)); });
    Child tracer([&] { return static_cast<uint64_t>(::ptrace(PTRACE_SEIZE, target.pid(), nullptr, nullptr)); });
    auto ours = os().open_process(target.pid(), PROCESS_QUERY_LIMITED_INFORMATION);
    HandleQuery q = os().query_system_handles();
    ASSERT_TRUE(writer.answered() && reader.answered() && tracer.answered() && ours && q.ok && q.status == 0);
    ASSERT_TRUE(static_cast<int64_t>(writer.answer()) >= 0 && static_cast<int64_t>(reader.answer()) >= 0 &&
                tracer.answer() == 0) << "open or PTRACE_SEIZE failed";
    auto held = [&](uint32_t holder) -> std::pair<uint64_t, uint32_t> {  // (handle, rights) on the target
        for (auto& h : q.handles)
            if (h.holder_pid == holder && h.object == target.pid()) return {h.handle_value, h.granted_access};
        return {~0ull, 0};
    };
    EXPECT_EQ(std::tuple(held(writer.pid()).first, held(reader.pid()).second, held(os().current_pid()).first),
              std::tuple(writer.answer(), PROCESS_VM_READ | PROCESS_QUERY_LIMITED_INFORMATION, ours->value()));
    EXPECT_FALSE(held(os().current_pid()).second & (PROCESS_VM_WRITE | PROCESS_VM_READ));
    EXPECT_EQ(held(tracer.pid()), std::pair(uint64_t{0}, uint32_t{PROCESS_ALL_ACCESS}));
    EXPECT_EQ(std::tuple(os().debug_signals(target.pid()).tracer_pid, os().debug_signals(writer.pid()).tracer_pid,
                         os().debug_signals(0).examined), std::tuple(tracer.pid(), 0u, false));
}

TEST(LinuxFiles, FactsReadersAndTheirFailures) {
    char pattern[] = "/tmp/linux_adapter_XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const std::string dir = pattern, path = dir + "/a.bin", fifo = dir + "/fifo";
    std::ofstream(path, std::ios::binary) << "0123456789";
    timespec times[2] = {{1609459200, 123456789}, {1609459200, 123456789}};  // 2021-01-01T00:00:00.123456789Z
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(os().file_facts(path), (FileFacts{true, 10, 132539328001234567ull}));
    EXPECT_TRUE(os().file_facts(dir + "/missing") == FileFacts{} && !lx::filetime_from_unix(-20000000000, 0));

    char buf[16] = {}; auto file = os().open_file(path);
    EXPECT_TRUE(file && file->seek(4) && file->read(buf, sizeof buf) == 6u && file->read(buf, sizeof buf) == 0u &&
                std::string(buf, 6) == "456789");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(os().open_file(fifo) || os().open_file("/dev/zero")) << "a pipe or device may block or never end";
    const std::string to_pagemap = dir + "/lib.so (deleted)";
    ASSERT_EQ(::symlink("/proc/self/pagemap", to_pagemap.c_str()), 0);
    for (std::string pseudo : {to_pagemap, dir, std::string("/proc/self/status"), std::string("/sys/power/state")})
        EXPECT_FALSE(os().open_file(pseudo)) << pseudo << ": not a file on a disk";
    EXPECT_TRUE(os().open_file("/proc/self/exe")) << "a magic link to a real file leads to it";
    const std::string cut = path + std::string(1, '\0') + ".gone";  // would name a.bin at the NUL
    EXPECT_TRUE(os().file_facts(cut) == FileFacts{} && !os().open_file(cut));
    std::filesystem::remove_all(dir);
}

TEST(LinuxDigestAndText, NoInputAfterFinishAndWindows1252) {  // known digests: through the fake, which uses this md5
    auto h = os().md5(); ASSERT_TRUE(h && h->update("a", 1) && h->update("bc", 2));
    const auto abc = h->finish();
    EXPECT_TRUE(!h->update("x", 1) && h->finish() == abc) << "finished: no more input, the same digest";

    EXPECT_EQ(os().ansi_to_wide("caf\xe9 \x80\x9f"), u"caf\u00e9 \u20ac\u0178");
    EXPECT_EQ(os().wide_to_utf8(u"caf\u00e9 \U0001F600"), "caf\xc3\xa9 \xf0\x9f\x98\x80");
    for (char undefined : {'\x81', '\x8d', '\x8f', '\x90', '\x9d'})  // undefined in Windows-1252
        EXPECT_FALSE(os().ansi_to_wide(std::string("ok") + undefined)) << int(static_cast<uint8_t>(undefined));
    EXPECT_FALSE(os().wide_to_utf8(std::u16string(1, u'\xd800'))) << "lone surrogate";
}

TEST(ProcfsParsers, StatMapsAndSyscallLines) {
    auto s = lx::parse_stat("4321 (a) (b c) S 17 1 1 0 -1 4194560 1 0 0 0 0 0 0 0 20 0 7 0 998877 0 0\n");
    ASSERT_TRUE(s && !lx::parse_stat("4321 (x) S 17"));
    EXPECT_EQ(std::tuple(s->comm, s->ppid, s->num_threads, s->starttime),
              std::tuple(std::string("a) (b c"), 17u, 7u, uint64_t{998877}));
    EXPECT_EQ(lx::syscall_instruction_pointer("7 0x1 0x2 0x3 0x4 0x5 0x6 0x7ffc 0x7f00aa\n"), 0x7f00aau);
    EXPECT_EQ(lx::syscall_instruction_pointer("-1 0x7ffc 0x401000\n"), 0x401000u);
    EXPECT_FALSE(lx::syscall_instruction_pointer("running\n"));

    auto lines = lx::parse_maps(
        "400000-401000 r--p 00000000 08:01 100 /opt/game bin\n401000-402000 r-xp 00001000 08:01 100 /opt/game bin\n"
        "402000-403000 rw-p 00002000 08:01 100 /opt/game bin\n403000-404000 rw-p 00000000 00:00 0 \n"
        "500000-520000 rw-p 00000000 00:00 0 [heap]\n"
        "7f0000000000-7f0000001000 r--p 00000000 08:01 200 /usr/lib/locale/locale-archive\n"
        "7f0000002000-7f0000003000 rwxs 00000000 00:01 301 /dev/zero (deleted)\n"
        "7f0000003000-7f0000004000 r-xp 00000000 00:01 302 /memfd:jit (deleted)\n"
        "7f0000004000-7f0000005000 rw-p 00000000 00:0f 303 /anon_hugepage (deleted)\n"
        "7f0000010000-7f0000011000 r--p 00000000 08:01 400 /usr/lib/libc.so.6\n"
        "7f0000011000-7f0000013000 r-xp 00001000 08:01 400 /usr/lib/libc.so.6\n"
        "7f0000020000-7f0000021000 r-xp 00000000 00:00 0 [vdso]\n"
        "ffffffffff600000-ffffffffff601000 --xp 00000000 00:00 0 [vsyscall]\ngarbage line\n");
    ASSERT_EQ(lines.size(), 13u);
    const lx::AddressSpace space(lines); auto at = [&](uint64_t a) { return *space.query(a); };
    const struct { uint64_t address; uint32_t type, protect; } expected[] = {  // shared anonymous, memfd: no images
        {0x401000, MEM_IMAGE, PAGE_EXECUTE_READ},           {0x402000, MEM_IMAGE, PAGE_WRITECOPY},
        {0x403000, MEM_PRIVATE, PAGE_READWRITE},            {0x510000, MEM_PRIVATE, PAGE_READWRITE},
        {0x7f0000000000, MEM_MAPPED, PAGE_READONLY},        {0x7f0000020000, MEM_IMAGE, PAGE_EXECUTE_READ},
        {0x7f0000002000, MEM_MAPPED, PAGE_EXECUTE_READWRITE}, {0x7f0000003000, MEM_MAPPED, PAGE_EXECUTE_READ},
        {0x7f0000004000, MEM_PRIVATE, PAGE_READWRITE},      {0xffffffffff600000, MEM_IMAGE, PAGE_EXECUTE}};
    for (auto& e : expected)
        EXPECT_EQ(std::tuple(at(e.address).type, at(e.address).protect), std::tuple(e.type, e.protect)) << e.address;
    MemoryRegion inner = at(0x7f0000012345), gap = at(0x404123), tail = at(0x7f0000021000);
    EXPECT_EQ(std::tuple(inner.base, inner.size, inner.allocation_base, at(0x401000).allocation_base),
              std::tuple(0x7f0000012000ull, 0x1000ull, 0x7f0000010000ull, 0x400000ull));  // that page to the end
    EXPECT_EQ(std::tuple(gap.state, gap.base, gap.size, tail.state, tail.base + tail.size),
              std::tuple(MEM_FREE, 0x404000ull, 0x500000ull - 0x404000, MEM_FREE, lx::kUserSpaceEnd));
    EXPECT_FALSE(space.query(lx::kUserSpaceEnd));

    auto modules = lx::image_modules(lines, "/usr/lib/libc.so.6", "/proc/9/map_files/");
    ASSERT_EQ(modules.size(), 2u) << "data files and anonymous memory are no modules";
    EXPECT_EQ(std::tuple(modules[0].path, modules[0].base, modules[0].size, modules[1].path),
              std::tuple("/usr/lib/libc.so.6", 0x7f0000010000ull, 0x3000ull, "/opt/game bin"));
    EXPECT_EQ(std::tuple(modules[0].content_path, modules[1].content_path),
              std::tuple("/proc/9/map_files/7f0000010000-7f0000011000", "/proc/9/map_files/400000-401000"));
    auto odd = lx::parse_maps("1000-2000 r-xp 00000000 08:01 5 /tmp/a\\012b\\012.so (deleted)\n");
    ASSERT_EQ(odd.size(), 1u);
    EXPECT_EQ(odd[0].path, "/tmp/a\nb\n.so (deleted)") << "maps escapes a newline as \\012";
}

TEST(ProcfsParsers, UserfaultfdRangesFromSmaps) {
    const std::string smaps =
        "1000-3000 rwxp 00000000 00:00 0 \nSize:  8 kB\nVmFlags: rd wr ex mr mw me ac um\n"
        "3000-4000 rw-p 00000000 00:00 0 \nSize:  4 kB\nVmFlags: rd wr mr mw me ac\n"
        "5000-6000 rw-p 00000000 00:00 0 \nVmFlags: rd wr uw\n"
        "7000-8000 rw-p 00000000 00:00 0 \nVmFlags: rd ui\nbroken\n"
        "9000-a000 rw-p 00000000 08:01 7 /tmp/um uw\nVmFlags: rd wr mr\n";
    const std::vector<lx::AddressRange> expected = {{0x1000, 0x3000}, {0x5000, 0x6000}, {0x7000, 0x8000}};
    EXPECT_EQ(lx::userfaultfd_ranges(smaps), expected);
    lx::UserfaultfdScan pieces;  // fed at line ends, as the adapter reads it
    for (size_t at = 0; at < smaps.size();) {
        size_t end = smaps.find('\n', at) + 1;
        pieces.feed(std::string_view(smaps).substr(at, end - at));
        at = end;
    }
    EXPECT_EQ(pieces.ranges(), expected);
}

// The read guard's per-mapping answers for a child holding each kind of mapping.
TEST(LinuxMappingQuery, OnlyRegularFilesOnDiskAreReadUnguarded) {
    const std::string dir = ::testing::TempDir() + "mapping_query_" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string library = dir + "/lib.so", zero_node = dir + "/zero";
    { std::ofstream(library) << std::string(3 * 4096, 'm'); }
    // A zero device node on this disk filesystem maps anonymous memory under a disk inode.
    const bool have_node = ::mknod(zero_node.c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0;
    struct Places { uint64_t file, anon, shm, node; };
    test::ForkedChild<Places> child([&] {
        Places p{};
        int fd = ::open(library.c_str(), O_RDONLY);  // three file pages, then an anonymous one
        auto* block = static_cast<char*>(::mmap(nullptr, 4 * 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        ::mmap(block, 3 * 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_FIXED, fd, 0);
        p.file = reinterpret_cast<uint64_t>(block);
        p.anon = p.file + 3 * 4096;
        int memfd = ::memfd_create("jit", 0);
        if (::ftruncate(memfd, 4096) == 0)
            p.shm = reinterpret_cast<uint64_t>(::mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_SHARED, memfd, 0));
        int node = ::open(zero_node.c_str(), O_RDONLY);
        if (node >= 0) p.node = reinterpret_cast<uint64_t>(::mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, node, 0));
        return p;
    });
    ASSERT_TRUE(child.answered());
    const Places at = child.answer();
    const std::string proc = "/proc/" + std::to_string(child.pid());
    lx::UniqueFd dir_fd = lx::open_at(AT_FDCWD, proc.c_str(), O_RDONLY | O_DIRECTORY);
    lx::UniqueFd maps = lx::open_at(dir_fd.get(), "maps", O_RDONLY);
    struct stat folder{};
    ASSERT_EQ(::stat(dir.c_str(), &folder), 0);
    bool file = lx::only_disk_files(maps.get(), dir_fd.get(), child.pid(), at.file + 100, 2 * 4096);
    if (!file && errno == ENOTTY) GTEST_SKIP() << "this kernel has no per-mapping query";
    EXPECT_EQ(file, major(folder.st_dev) != 0) << "a disk filesystem (a temp folder on tmpfs is shared memory)";
    EXPECT_FALSE(lx::only_disk_files(maps.get(), dir_fd.get(), child.pid(), at.anon, 16));
    EXPECT_FALSE(lx::only_disk_files(maps.get(), dir_fd.get(), child.pid(), at.anon - 8, 16)) << "a read that runs on into it";
    EXPECT_TRUE(at.shm && !lx::only_disk_files(maps.get(), dir_fd.get(), child.pid(), at.shm, 16));
    if (have_node) {
        EXPECT_TRUE(at.node && !lx::only_disk_files(maps.get(), dir_fd.get(), child.pid(), at.node, 16));
        // The facts of its map_files entry, read just before, stand in for the kernel's answer: still no.
        std::ostringstream entry;
        entry << proc << "/map_files/" << std::hex << at.node << "-" << at.node + 4096;
        EXPECT_TRUE(lx::file_facts(entry.str()).found);
        EXPECT_FALSE(lx::only_disk_files(maps.get(), dir_fd.get(), child.pid(), at.node, 16));
    }
    child.reap();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ac
