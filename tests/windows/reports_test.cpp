// The inspections end to end under Wine: the test process, a game module it loads, a program under a cheat name.
#include <gtest/gtest.h>

#include "checks/cheat_process_names.hpp"
#include "evidence/digest.hpp"
#include "evidence/text.hpp"
#include "reports/cheat_process_scan.hpp"
#include "reports/fields.hpp"
#include "reports/module_report.hpp"
#include "reports/process_report.hpp"
#include "reports/write_handle_report.hpp"
#include "win_test_support.hpp"

namespace ac {
namespace {

std::string field(const ReportRecord& r, std::string_view key) {
    return r.count(std::string(key)) ? r.at(std::string(key)) : "<absent>";
}
auto at(const ReportRecord& r, auto... keys) { return std::tuple(field(r, keys)...); }

ReportRecord find_module(const std::vector<ReportRecord>& records, const std::string& path) {  // empty: not listed
    for (const ReportRecord& r : records)
        if (normalize_path(field(r, mod_key::path)) == normalize_path(path)) return r;
    return {};
}

TEST(TestProcessInspection, ModulesFromSystemAndGameFoldersThenTheProcessRecord) {
    wintest::ScratchDir game("scratch_game"); const std::string module_path = game.file("game_module.dll");
    const bool is_signed = !wintest::signing_facts().empty();
    ASSERT_TRUE(CopyFileA(wintest::fixture_path(is_signed ? "fixture_leaf_signed.dll" : "fixture_module.dll").c_str(),
                          module_path.c_str(), FALSE));
    HMODULE module = LoadLibraryA(module_path.c_str());
    const auto pid = static_cast<int32_t>(GetCurrentProcessId());

    std::vector<ReportRecord> heavy = inspect_process_modules_records(pid, game.path.c_str(), "HEAVY");
    for (const ReportRecord& r : heavy) EXPECT_EQ(r.size(), 35u) << field(r, mod_key::path);
    const ReportRecord ntdll = find_module(heavy, *native_system().system_directory_raw() + "\\ntdll.dll");
    using namespace mod_key;
    EXPECT_EQ(at(ntdll, origin, hashStatus, md5, signatureStatus, textHashStatus),
              std::tuple(word::origin_system32, word::not_hashed_policy, "", word::not_checked, word::not_checked));

    const ReportRecord mine = find_module(heavy, module_path);
    std::vector<uint8_t> file = wintest::read_file(module_path);
    auto* base = reinterpret_cast<const uint8_t*>(module);  // the code section as the loader mapped it
    const IMAGE_SECTION_HEADER* text = module ? wintest::find_section(base, ".text") : nullptr;
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(at(mine, origin, hashReason, hashStatus, md5, size, textHashStatus, textMd5),
              std::tuple(word::origin_game_dir, word::reason_game_dir, word::hashed,
                         buffer_md5(file.data(), file.size()), std::to_string(file.size()), word::hashed,
                         buffer_md5(base + text->VirtualAddress, text->Misc.VirtualSize)));
    if (!is_signed || wintest::running_under_wine()) {  // Wine accepts the signature without its root in the store
        EXPECT_EQ(at(mine, signatureStatus, signerThumbprint),
                  std::tuple(is_signed ? word::sig_valid : word::sig_unsigned, wintest::signing_facts()["thumbprint"]));
    }
    std::vector<ReportRecord> medium = inspect_process_modules_records(pid, game.path.c_str(), nullptr);
    EXPECT_EQ(field(find_module(medium, module_path), textHashStatus), word::not_checked_scan_level);
    FreeLibrary(module);

    ReportRecord r = inspect_process_record(pid, nullptr, "heavy");
    EXPECT_EQ(std::tuple(field(r, proc_key::processFound), field(r, proc_key::debuggerPresent),
                         field(r, proc_key::memoryScanStatus), field(r, proc_key::manualMapSuspected),
                         field(r, proc_key::suspicious), to_lower(base_name(field(r, proc_key::executablePath)))),
              std::tuple("1", "0", word::ok, "0", "0", "windows_tests.exe"));
    EXPECT_EQ(field(inspect_process_record(0x7FFFFFF0, nullptr, "heavy"), proc_key::processFound), "0");
}

// Wine lists no object addresses, like recent Windows to a caller without the debug privilege, so the
// holders are found by duplicating their handles.
TEST(WriteHandleReport, AWritingHolderIsCountedAndDescribedAReadingOneIsNot) {
    const std::string holder_exe = wintest::exe_dir() + "handle_holder.exe";
    wintest::Child target(holder_exe, "");
    ASSERT_TRUE(target);
    wintest::Child writer(holder_exe, std::to_string(target.pid()) + " 28");  // PROCESS_VM_WRITE | PROCESS_VM_OPERATION
    wintest::Child reader(holder_exe, std::to_string(target.pid()) + " 1010");  // PROCESS_VM_READ | QUERY_LIMITED
    ASSERT_TRUE(writer && reader);
    auto holds = [](const wintest::Child& c, uint32_t access) {
        for (const SystemHandle& h : native_system().query_system_handles().handles)
            if (h.holder_pid == c.pid() && h.granted_access == access) return true;
        return false;
    };
    for (int i = 0; i < 1000 && !(holds(writer, 0x28) && holds(reader, 0x1010)); ++i) Sleep(10);

    ReportRecord r = inspect_process_record(static_cast<int32_t>(target.pid()), nullptr, "heavy");
    using namespace proc_key;
    EXPECT_EQ(field(r, externalWriteHandleReportOnly), "1");
    if (wintest::running_under_wine()) {  // Wine-only: no other process holds a handle to the target
        EXPECT_EQ(at(r, externalWriteHandleStatus, externalWriteHandleCount, externalWriteHandleSystemProcessCount),
                  std::tuple(word::ok, "1", "0"));
    } else {  // on Windows, protected holders and security software may hold handles we cannot check
        EXPECT_TRUE(field(r, externalWriteHandleStatus) == word::ok ||
                    field(r, externalWriteHandleStatus) == word::partial);
        // Another counted holder may come first in the system's list; then the writer is not the one described.
        if (field(r, externalWriteHandleProcessPid) != std::to_string(writer.pid())) return;
    }
    const std::string self = wintest::exe_path();
    std::vector<uint8_t> image = wintest::read_file(holder_exe);
    EXPECT_EQ(at(r, externalWriteHandleProcessPid, externalWriteHandleAccess, externalWriteHandleProcessMd5,
                 externalWriteHandleParentPid, externalWriteHandleParentName),
              std::tuple(std::to_string(writer.pid()), "0x28", buffer_md5(image.data(), image.size()),
                         std::to_string(GetCurrentProcessId()), base_name(self)));
    EXPECT_EQ(std::tuple(to_lower(field(r, externalWriteHandleProcessName)),
                         normalize_path(field(r, externalWriteHandleProcessPath)),
                         field(r, externalWriteHandleProcessAccount)),
              std::tuple("handle_holder.exe", normalize_path(holder_exe),
                         read_process_account(GetCurrentProcessId()).account));
    EXPECT_FALSE(field(r, externalWriteHandleProcessAccount).empty());
}

TEST(CheatScan, AProgramStartedUnderACheatNameIsFound) {
    EXPECT_FALSE(is_cheat_detected());
    const std::string name = "known-cheat-test-program.exe";  // the list's own harmless stand-in
    wintest::ScratchDir dir("scratch_cheat"); const std::string copy = dir.file(name);
    ASSERT_TRUE(CopyFileA(wintest::exe_path().c_str(), copy.c_str(), FALSE));
    STARTUPINFOA startup = {}; PROCESS_INFORMATION child = {}; startup.cb = sizeof(startup);
    ASSERT_TRUE(CreateProcessA(copy.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &startup, &child));  // suspended: listed, runs nothing
    EXPECT_TRUE(is_cheat_detected());
    ReportRecord found = detect_cheat_process_record();
    EXPECT_EQ(std::tuple(field(found, cheat_key::detected), to_lower(field(found, cheat_key::name)),
                         normalize_path(field(found, cheat_key::path)), field(found, cheat_key::md5)),
              std::tuple("1", name, normalize_path(copy), file_md5(copy, get_file_facts(copy))));
    TerminateProcess(child.hProcess, 0), WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread), CloseHandle(child.hProcess);
    EXPECT_FALSE(is_cheat_detected());
}

}  // namespace
}  // namespace ac
