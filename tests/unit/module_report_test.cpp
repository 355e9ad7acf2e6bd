// Module inspection on the fake machine: reasons per origin, wrapper and level, and the in-memory code digest.
#include <gtest/gtest.h>

#include <map>

#include "evidence/digest.hpp"
#include "fake_system.hpp"
#include "reports/module_report.hpp"
#include "reports/record.hpp"
#include "support/pe_builder.hpp"

namespace ac {
namespace {

struct Machine : test::FakeMachine {
    static constexpr uint32_t kGame = 77;
    test::FakeProcess& game;
    std::map<std::u16string, std::u16string> signers;  // wide path -> subject of a valid embedded signature

    Machine() : game(add_process(kGame, "Game.exe", "C:\\Games\\X\\Game.exe")) {
        on_trust_embedded = [this](const std::u16string& path) {
            auto it = signers.find(path);
            if (it == signers.end()) return EmbeddedTrust{win::TRUST_E_NOSIGNATURE, {}};
            return EmbeddedTrust{0, {true, it->second, u"Some CA", std::vector<uint8_t>(20, 0xab)}};
        };
    }
    void module(const std::string& path, std::vector<uint8_t> bytes = test::bytes_of("module"), uint64_t base = 0) {
        game.modules->push_back({base, 0x1000, path});
        add_file(path, std::move(bytes), test::fresh_time());
    }
    void sign(const std::string& path, std::u16string subject) { signers[{path.begin(), path.end()}] = subject; }
    auto inspect(const char* dir, const char* level) { return inspect_process_modules_records(kGame, dir, level); }
};

std::string at(const ReportRecord& r, auto... k) { return ((std::string(get_field(r, k)) + "|") + ...); }
const ReportRecord& by_name(const std::vector<ReportRecord>& records, std::string_view name) {
    for (const auto& r : records) if (get_field(r, mod_key::basename) == name) return r;
    static const ReportRecord none;
    return ADD_FAILURE() << "no record for " << name, none;
}

struct Expect {
    std::string_view name, origin, hash_reason, suspicious, report_only, hash_status, signature_status, trusted;
};

constexpr std::string_view kWrapper = "wrapper_module", kUntrusted = "system_wrapper_signature_untrusted",
                           kWritable = "user_writable_path", kNotHashed = "not_hashed_scan_level";

// Checks one record, and the invariants every record must keep.
void check(const std::vector<ReportRecord>& records, const Expect& e) {
    SCOPED_TRACE(std::string(e.name));
    const ReportRecord& r = by_name(records, e.name);
    EXPECT_EQ(r.size(), 35u);
    const std::pair<std::string_view, std::string_view> want[] = {
        {mod_key::origin, e.origin}, {mod_key::hashReason, e.hash_reason}, {mod_key::suspiciousReasons, e.suspicious},
        {mod_key::reason, e.suspicious}, {mod_key::suspicious, e.suspicious.empty() ? "0" : "1"},
        {mod_key::reportOnlyReasons, e.report_only}, {mod_key::hashStatus, e.hash_status},
        {mod_key::signatureStatus, e.signature_status}, {mod_key::trustedMicrosoft, e.trusted}};
    for (auto [key, value] : want) EXPECT_EQ(get_field(r, key), value) << key;
    EXPECT_EQ(get_field(r, mod_key::knownCheatHashMatch), get_field(r, mod_key::blockedHashMatch));
    EXPECT_FALSE(get_field(r, mod_key::fuzzyCorpusMatch) == "1" && get_field(r, mod_key::fuzzyCorpusSuspect) == "1");
    EXPECT_EQ(get_field(r, mod_key::md5).size(), e.hash_status == "hashed" ? 32u : 0u);
}

TEST(ModuleInspection, ReasonsAndWorkPerLevel) {
    Machine m;
    ScopedSystemOverride use(m);
    for (const char* path : {"C:\\Games\\X\\Game.exe", "C:\\Windows\\System32\\kernel32.dll",
                             "C:\\Windows\\System32\\d3d9.dll", "C:\\Windows\\System32\\d3d11.dll",
                             "C:\\Windows\\SysWOW64\\dinput8.dll", "C:\\Games\\X\\dxgi.dll", "D:\\Mods\\XInput1_3.dll",
                             "C:\\Users\\u\\Downloads\\helper.dll", "C:\\Program Files\\Overlay\\overlay.dll"})
        m.module(path);
    m.sign("C:\\Windows\\System32\\d3d9.dll", u"Microsoft Windows");
    m.sign("C:\\Windows\\SysWOW64\\dinput8.dll", u"Cheap Certs Ltd");  // valid, but not a signer we accept

    auto records = m.inspect("C:/Games/X", "CHEAP");
    ASSERT_EQ(records.size(), 9u);
    check(records, {"Game.exe", "game_dir", "game_dir", "", "", kNotHashed, "not_checked_scan_level", "0"});
    // The untrusted-signature verdict needs a verified signature, so it waits for medium.
    check(records, {"d3d11.dll", "system32", kWrapper, "", "", kNotHashed, "not_checked_scan_level", "0"});
    EXPECT_EQ(at(records[0], mod_key::size) + std::to_string(m.total_file_opens() + m.trust_calls.size()), "6|0");

    records = m.inspect("C:/Games/X", "medium");
    EXPECT_EQ(get_field(records[0], mod_key::basename), "Game.exe");  // snapshot order
    check(records, {"Game.exe", "game_dir", "game_dir", "", "", "hashed", "unsigned", "0"});
    check(records, {"kernel32.dll", "system32", "", "", "", "not_hashed_policy", "not_checked", "0"});
    check(records, {"d3d9.dll", "system32", kWrapper, "", "", "hashed", "valid", "1"});
    check(records, {"d3d11.dll", "system32", kWrapper, kUntrusted, kUntrusted, "hashed", "unsigned", "0"});
    check(records, {"dinput8.dll", "windows", kWrapper, kUntrusted, kUntrusted, "hashed", "valid", "0"});
    check(records, {"dxgi.dll", "game_dir", "game_dir,wrapper_module", "unexpected_graphics_input_wrapper", "",
                    "hashed", "unsigned", "0"});
    check(records, {"XInput1_3.dll", "other", "wrapper_module,non_system_origin", "",
                    "wrapper_from_non_system_origin", "hashed", "unsigned", "0"});
    check(records, {"helper.dll", "user_writable", kWritable, kWritable, "", "hashed", "unsigned", "0"});
    check(records, {"overlay.dll", "program_files", "", "", "", "not_hashed_policy", "not_checked", "0"});
    EXPECT_EQ(at(records[0], mod_key::md5, mod_key::peFingerprintStatus, mod_key::textHashStatus),  // fingerprint read
              buffer_md5("module", 6) + "|not_pe|not_checked_scan_level|");
    EXPECT_EQ(m.opens("C:\\Windows\\System32\\kernel32.dll"), 0);
    EXPECT_EQ(m.opened.back(), std::make_pair(Machine::kGame, 0x410u));
}

constexpr uint64_t kBase = 0x7ff600000000;

// Maps an image at kBase in the game: headers, and `code` at the first section's address.
void map_image(Machine& m, const test::PeBuilder& pe, const std::vector<uint8_t>& code) {
    std::vector<uint8_t> file = pe.build();
    file.resize(pe.headers_size());
    m.game.memory[kBase] = std::move(file);
    if (!code.empty()) m.game.memory[kBase + 0x1000] = code;
}

TEST(ModuleInspection, GameDirectoryMovedFilesVerdictsAndHeavyCode) {
    Machine m;
    ScopedSystemOverride use(m);
    m.module("c:\\games\\xy\\a.dll");  // a plain prefix: "C:/Games/X" claims "xy"
    m.module("C:\\Users\\u\\Desktop\\Game\\game.dll");
    check(m.inspect("C:/Games/X", nullptr), {"a.dll", "game_dir", "game_dir", "", "", "hashed", "unsigned", "0"});
    check(m.inspect("C:\\Users\\u\\Desktop\\Game", "medium"),  // a game on the desktop stays user-writable
          {"game.dll", "game_dir", "game_dir", kWritable, "", "hashed", "unsigned", "0"});

    test::PeBuilder pe;
    const std::vector<uint8_t> code(256, 0xc3);
    pe.add_section(".text", code);
    m.module("C:\\Games\\X\\Game.exe", pe.build(), kBase);
    m.module("C:\\Windows\\System32\\kernel32.dll", pe.build(), kBase);  // mapped, but not ours to digest
    map_image(m, pe, code);
    m.game.modules->push_back({0, 0x1000, "C:\\Games\\X\\gone.dll"});  // its file moved away
    m.module("C:\\Games\\X\\cheat.dll", test::bytes_of("KNOWN-CHEAT-TEST-FILE: a harmless file whose digest the "
                                                       "known-cheat digest check lists, so the detection can be seen "
                                                       "end to end.\n"));
    m.module("C:\\Games\\X\\huge.dll");
    m.files["C:\\Games\\X\\huge.dll"].facts.size = kFileDigestCap + 1;
    auto records = m.inspect("C:\\Games\\X", "heavy");
    check(records, {"gone.dll", "game_dir", "game_dir", "", "", "hash_error", "unsigned", "0"});
    check(records, {"huge.dll", "game_dir", "game_dir", "", "", "not_hashed_too_large", "unsigned", "0"});
    EXPECT_EQ(get_field(by_name(records, "gone.dll"), mod_key::size), "");
    check(records,
          {"cheat.dll", "game_dir", "game_dir", "known_cheat_hash", "known_cheat_hash", "hashed", "unsigned", "0"});
    EXPECT_EQ(get_field(records[2], mod_key::textHashStatus), "hashed");  // Game.exe: game and wrapper code only
    EXPECT_EQ(get_field(records[2], mod_key::textMd5), buffer_md5(code.data(), code.size()));
    EXPECT_EQ(get_field(by_name(records, "kernel32.dll"), mod_key::textHashStatus), "not_checked");
    EXPECT_EQ(get_field(by_name(records, "cheat.dll"), mod_key::textHashStatus), "unavailable");  // nothing mapped
    m.game.denied_access = win::PROCESS_VM_READ;  // records all the same, no code read
    records = m.inspect("C:\\Games\\X", "heavy");
    ASSERT_EQ(records.size(), 7u);
    for (const auto& r : records) EXPECT_EQ(get_field(r, mod_key::textHashStatus), "not_checked");

    EXPECT_TRUE(inspect_process_modules_records(-5, "", "medium").empty() &&
                inspect_process_modules_records(12345, "", "medium").empty());  // no such process
    m.game.modules.reset();  // snapshot refused
    EXPECT_TRUE(m.inspect("", "medium").empty());
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(ModuleTextDigest, DigestsAtMostSixteenMebibytesOfTheMappedTextSection) {
    Machine m;
    auto text_md5 = [&m] { return module_text_md5(m.open_process(Machine::kGame, win::PROCESS_VM_READ).get(), kBase); };
    test::PeBuilder pe;
    pe.add_section(".rdata", std::vector<uint8_t>(16, 1), 0x40000040).add_section(".TEXT", std::vector<uint8_t>(300, 1));
    map_image(m, pe, {});
    const std::vector<uint8_t> code(300, 0x11);
    m.game.memory[kBase + 0x2000] = code;  // the second section's address
    EXPECT_EQ(text_md5(), buffer_md5(code.data(), code.size()));
    EXPECT_EQ(module_text_md5(nullptr, kBase), "");
    std::vector<uint8_t>& headers = m.game.memory[kBase];
    headers[0] = 'Z';
    EXPECT_EQ(text_md5(), "") << "no MZ";
    headers[0] = 'M', headers[pe.pe_offset + 1] = 'X';
    EXPECT_EQ(text_md5(), "") << "no PE signature";

    map_image(m, test::PeBuilder{}.add_section(".code", code), code);
    EXPECT_EQ(text_md5(), "") << "no .text";

    const std::vector<uint8_t> huge(kTextDigestLimit + (1u << 20), 0x33);
    test::PeBuilder capped;
    capped.add_section(".text", huge).sections[0].virtual_size = 0;  // falls back to SizeOfRawData
    map_image(m, capped, huge);
    // Reads go in whole chunks, so an unreadable chunk start fails the digest, and none starts at the cap.
    for (uint64_t at : {kTextDigestChunk, 2 * kTextDigestChunk, kTextDigestLimit}) {
        m.game.unreadable = {kBase + 0x1000 + at};
        EXPECT_EQ(text_md5(), at == kTextDigestLimit ? buffer_md5(huge.data(), kTextDigestLimit) : "") << at;
    }
}

}  // namespace
}  // namespace ac
