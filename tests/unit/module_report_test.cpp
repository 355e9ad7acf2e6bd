// Module inspection against the fake machine: reason lists per origin,
// wrapper and level, the work done at each level, and the in-memory digest.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "evidence/digest.hpp"
#include "fake_system.hpp"
#include "reports/fields.hpp"
#include "reports/module_report.hpp"
#include "reports/record.hpp"
#include "support/pe_builder.hpp"

namespace ac {
namespace {

using test::FakeMachine;
using test::bytes_of;
using test::fresh_time;

SignerCertificate signer(std::u16string subject, std::u16string issuer) {
    return {true, std::move(subject), std::move(issuer), std::vector<uint8_t>(20, 0xab)};
}

struct Machine : FakeMachine {
    static constexpr uint32_t kGame = 77;
    test::FakeProcess& game;
    std::map<std::u16string, SignerCertificate> signed_files;  // wide path -> valid embedded signer

    Machine() : game(add_process(kGame, "Game.exe", "C:\\Games\\X\\Game.exe")) {
        on_trust_embedded = [this](const std::u16string& path) {
            auto it = signed_files.find(path);
            if (it == signed_files.end()) return EmbeddedTrust{win::TRUST_E_NOSIGNATURE, {}};
            return EmbeddedTrust{0, it->second};
        };
    }
    // A loaded module backed by a file (bytes default to a small text).
    void module(const std::string& path, std::vector<uint8_t> bytes = bytes_of("module"), uint64_t base = 0) {
        processes.front().modules->push_back({base, 0x1000, path});
        add_file(path, std::move(bytes), fresh_time());
    }
    void module_without_file(const std::string& path) { processes.front().modules->push_back({0, 0x1000, path}); }
    void sign(const std::string& path, std::u16string subject, std::u16string issuer = u"Some CA") {
        signed_files[std::u16string(path.begin(), path.end())] = signer(std::move(subject), std::move(issuer));
    }
    std::vector<ReportRecord> inspect(const char* game_dir, const char* level) {
        return inspect_process_modules_records(kGame, game_dir, level);
    }
};

const ReportRecord& by_name(const std::vector<ReportRecord>& records, std::string_view name) {
    for (const auto& r : records)
        if (get_field(r, mod_key::basename) == name) return r;
    static const ReportRecord none;
    ADD_FAILURE() << "no record for " << name;
    return none;
}

struct Expect {
    std::string_view name, origin, hash_reason, suspicious, report_only, hash_status, signature_status, trusted;
};

void check(const std::vector<ReportRecord>& records, const Expect& e) {
    SCOPED_TRACE(std::string(e.name));
    const ReportRecord& r = by_name(records, e.name);
    EXPECT_EQ(r.size(), 35u);
    EXPECT_EQ(get_field(r, mod_key::origin), e.origin);
    EXPECT_EQ(get_field(r, mod_key::hashReason), e.hash_reason);
    EXPECT_EQ(get_field(r, mod_key::suspiciousReasons), e.suspicious);
    EXPECT_EQ(get_field(r, mod_key::reason), e.suspicious);
    EXPECT_EQ(get_field(r, mod_key::suspicious), e.suspicious.empty() ? "0" : "1");
    EXPECT_EQ(get_field(r, mod_key::reportOnlyReasons), e.report_only);
    EXPECT_EQ(get_field(r, mod_key::hashStatus), e.hash_status);
    EXPECT_EQ(get_field(r, mod_key::signatureStatus), e.signature_status);
    EXPECT_EQ(get_field(r, mod_key::trustedMicrosoft), e.trusted);
    EXPECT_EQ(get_field(r, mod_key::knownCheatHashMatch), get_field(r, mod_key::blockedHashMatch));
    EXPECT_FALSE(get_field(r, mod_key::fuzzyCorpusMatch) == "1" && get_field(r, mod_key::fuzzyCorpusSuspect) == "1");
    EXPECT_EQ(get_field(r, mod_key::md5).size(), e.hash_status == "hashed" ? 32u : 0u);
}

// One module of every kind, so each level is checked against the same machine.
void load_every_kind(Machine& m) {
    m.module("C:\\Games\\X\\Game.exe");
    m.module("C:\\Windows\\System32\\kernel32.dll");
    m.module("C:\\Windows\\System32\\d3d9.dll");
    m.sign("C:\\Windows\\System32\\d3d9.dll", u"Microsoft Windows", u"Microsoft Windows Production PCA 2011");
    m.module("C:\\Windows\\System32\\d3d11.dll");  // unsigned
    m.module("C:\\Windows\\System32\\vulkan-1.dll");
    m.sign("C:\\Windows\\System32\\vulkan-1.dll", u"NVIDIA Corporation");
    m.module("C:\\Windows\\SysWOW64\\dinput8.dll");
    m.sign("C:\\Windows\\SysWOW64\\dinput8.dll", u"Cheap Certs Ltd");  // valid, but not a signer we accept
    m.module("C:\\Games\\X\\dxgi.dll");
    m.module("D:\\Mods\\XInput1_3.dll");
    m.module("C:\\Users\\u\\Downloads\\helper.dll");
    m.module("C:\\Program Files\\Overlay\\overlay.dll");
}

TEST(ModuleInspection, ReasonsAndWorkAtMedium) {
    Machine m;
    ScopedSystemOverride use(m);
    load_every_kind(m);
    auto records = m.inspect("C:/Games/X", "medium");
    ASSERT_EQ(records.size(), 10u);
    EXPECT_EQ(get_field(records[0], mod_key::basename), "Game.exe");  // snapshot order

    check(records, {"Game.exe", "game_dir", "game_dir", "", "", "hashed", "unsigned", "0"});
    check(records, {"kernel32.dll", "system32", "", "", "", "not_hashed_policy", "not_checked", "0"});
    check(records, {"d3d9.dll", "system32", "wrapper_module", "", "", "hashed", "valid", "1"});
    check(records, {"d3d11.dll", "system32", "wrapper_module", "system_wrapper_signature_untrusted",
                    "system_wrapper_signature_untrusted", "hashed", "unsigned", "0"});
    check(records, {"vulkan-1.dll", "system32", "wrapper_module", "", "", "hashed", "valid", "1"});
    check(records, {"dinput8.dll", "windows", "wrapper_module", "system_wrapper_signature_untrusted",
                    "system_wrapper_signature_untrusted", "hashed", "valid", "0"});
    check(records, {"dxgi.dll", "game_dir", "game_dir,wrapper_module", "unexpected_graphics_input_wrapper", "",
                    "hashed", "unsigned", "0"});
    check(records, {"XInput1_3.dll", "other", "wrapper_module,non_system_origin", "",
                    "wrapper_from_non_system_origin", "hashed", "unsigned", "0"});
    check(records, {"helper.dll", "user_writable", "user_writable_path", "user_writable_path", "", "hashed",
                    "unsigned", "0"});
    check(records, {"overlay.dll", "program_files", "", "", "", "not_hashed_policy", "not_checked", "0"});

    const ReportRecord& kernel = by_name(records, "kernel32.dll");
    EXPECT_EQ(get_field(kernel, mod_key::signatureSource), "none");
    EXPECT_EQ(get_field(kernel, mod_key::peFingerprintStatus), "not_parsed");
    EXPECT_EQ(get_field(kernel, mod_key::textHashStatus), "not_checked");
    EXPECT_EQ(get_field(kernel, mod_key::name), "kernel32.dll");
    EXPECT_EQ(get_field(kernel, mod_key::path), "C:\\Windows\\System32\\kernel32.dll");
    EXPECT_EQ(m.opens("C:\\Windows\\System32\\kernel32.dll"), 0);

    const ReportRecord& game = by_name(records, "Game.exe");
    EXPECT_EQ(get_field(game, mod_key::md5), buffer_md5("module", 6));
    EXPECT_EQ(get_field(game, mod_key::size), "6");
    EXPECT_EQ(get_field(game, mod_key::scanLevel), "medium");
    EXPECT_EQ(get_field(game, mod_key::peFingerprintStatus), "not_pe");  // a fingerprint was read
    EXPECT_EQ(get_field(game, mod_key::textHashStatus), "not_checked_scan_level");
    EXPECT_EQ(get_field(by_name(records, "d3d9.dll"), mod_key::publisher), "Microsoft Windows");

    ASSERT_EQ(m.opened.size(), 1u);
    EXPECT_EQ(m.opened[0], std::make_pair(Machine::kGame, 0x410u));
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(ModuleInspection, CheapReadsAttributesOnly) {
    Machine m;
    ScopedSystemOverride use(m);
    load_every_kind(m);
    auto records = m.inspect("C:/Games/X", "CHEAP");
    ASSERT_EQ(records.size(), 10u);
    check(records, {"Game.exe", "game_dir", "game_dir", "", "", "not_hashed_scan_level", "not_checked_scan_level", "0"});
    // The untrusted-signature verdict needs a verified signature, so it waits for medium.
    check(records, {"d3d11.dll", "system32", "wrapper_module", "", "", "not_hashed_scan_level",
                    "not_checked_scan_level", "0"});
    EXPECT_EQ(get_field(by_name(records, "Game.exe"), mod_key::scanLevel), "cheap");
    EXPECT_EQ(get_field(by_name(records, "Game.exe"), mod_key::textHashStatus), "not_checked_scan_level");
    EXPECT_EQ(get_field(by_name(records, "Game.exe"), mod_key::size), "6");
    EXPECT_EQ(m.total_file_opens(), 0);
    EXPECT_TRUE(m.trust_calls.empty());
}

TEST(ModuleInspection, GameDirectoryEdges) {
    Machine m;
    ScopedSystemOverride use(m);
    m.module("c:\\games\\xy\\a.dll");                         // a plain prefix: "c:\games\x" claims "xy"
    m.module("C:\\Users\\u\\Desktop\\Game\\game.dll");
    m.module("C:\\Users\\u\\Desktop\\Game\\d3d9.dll");
    auto records = m.inspect("C:/Games/X", nullptr);
    check(records, {"a.dll", "game_dir", "game_dir", "", "", "hashed", "unsigned", "0"});

    // A game installed on the desktop: game_dir origin, still a user-writable path.
    records = m.inspect("C:\\Users\\u\\Desktop\\Game", "medium");
    check(records, {"game.dll", "game_dir", "game_dir", "user_writable_path", "", "hashed", "unsigned", "0"});
    check(records, {"d3d9.dll", "game_dir", "game_dir,wrapper_module",
                    "user_writable_path,unexpected_graphics_input_wrapper", "", "hashed", "unsigned", "0"});

    // Without a game directory nothing is "game_dir" and no wrapper is unexpected.
    for (const char* none : {static_cast<const char*>(nullptr), ""}) {
        for (const auto& r : m.inspect(none, "medium")) {
            EXPECT_NE(get_field(r, mod_key::origin), "game_dir");
            EXPECT_EQ(get_field(r, mod_key::suspiciousReasons).find("unexpected"), std::string::npos);
        }
    }
}

TEST(ModuleInspection, MovedAwayFileAndNoProcess) {
    Machine m;
    ScopedSystemOverride use(m);
    m.module_without_file("C:\\Games\\X\\gone.dll");
    auto records = m.inspect("C:\\Games\\X", "heavy");
    ASSERT_EQ(records.size(), 1u);
    check(records, {"gone.dll", "game_dir", "game_dir", "", "", "hash_error", "unsigned", "0"});
    EXPECT_EQ(get_field(records[0], mod_key::size), "");
    EXPECT_EQ(get_field(records[0], mod_key::lastWriteTime), "");
    EXPECT_EQ(get_field(records[0], mod_key::peFingerprintStatus), "not_parsed");
    EXPECT_EQ(get_field(records[0], mod_key::fuzzyCorpusRuleId), "");

    EXPECT_TRUE(inspect_process_modules_records(0, "", "medium").empty());
    EXPECT_TRUE(inspect_process_modules_records(-5, "", "medium").empty());
    EXPECT_TRUE(inspect_process_modules_records(12345, "", "medium").empty());  // no such process
    m.game.modules->clear();
    EXPECT_TRUE(m.inspect("", "medium").empty());
    m.game.modules.reset();  // snapshot refused
    EXPECT_TRUE(m.inspect("", "medium").empty());
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(ModuleInspection, KnownCheatDigestAndCorpusVerdicts) {
    Machine m;
    ScopedSystemOverride use(m);
    const std::string test_text =
        "KNOWN-CHEAT-TEST-FILE: a harmless file whose digest the known-cheat digest check lists, so the detection "
        "can be seen end to end.\n";
    m.module("C:\\Games\\X\\cheat.dll", bytes_of(test_text));

    test::PeBuilder strong;
    std::vector<uint8_t> marker = bytes_of("KNOWN-CHEAT-CORPUS-TEST-BUILD: harmless code section of the fuzzy corpus test build.\n");
    marker.resize(512, 0);
    strong.add_section(".text", marker);
    m.module("C:\\Games\\X\\strong.dll", strong.build());

    test::PeBuilder packed;
    packed.add_section(".vmp0", std::vector<uint8_t>(64, 0x90));
    packed.add_import("kernel32.dll", {test::PeFunction::named("Sleep")});
    m.module("C:\\Games\\X\\packed.dll", packed.build());

    auto records = m.inspect("C:\\Games\\X", "medium");
    check(records, {"cheat.dll", "game_dir", "game_dir", "known_cheat_hash", "known_cheat_hash", "hashed", "unsigned", "0"});
    EXPECT_EQ(get_field(by_name(records, "cheat.dll"), mod_key::blockedHashMatch), "1");

    check(records, {"strong.dll", "game_dir", "game_dir", "fuzzy_cheat_corpus_match", "fuzzy_cheat_corpus_match",
                    "hashed", "unsigned", "0"});
    const ReportRecord& s = by_name(records, "strong.dll");
    EXPECT_EQ(get_field(s, mod_key::fuzzyCorpusMatch), "1");
    EXPECT_EQ(get_field(s, mod_key::fuzzyCorpusRuleId), "known-build-test-0001");
    EXPECT_EQ(get_field(s, mod_key::fuzzyCorpusCodeMd5), "5a03e04fe50df04f05f1964e0b2a40db");
    EXPECT_EQ(get_field(s, mod_key::peFingerprintStatus), "parsed");
    EXPECT_EQ(get_field(s, mod_key::fuzzyCorpusSectionLayout), ".text:512:512:60000020");

    // A suspect is reported only: it leaves `suspicious` alone.
    check(records, {"packed.dll", "game_dir", "game_dir", "", "fuzzy_cheat_corpus_suspect", "hashed", "unsigned", "0"});
    const ReportRecord& p = by_name(records, "packed.dll");
    EXPECT_EQ(get_field(p, mod_key::fuzzyCorpusSuspect), "1");
    EXPECT_EQ(get_field(p, mod_key::fuzzyCorpusFamily), "vmprotect");
    EXPECT_EQ(get_field(p, mod_key::fuzzyCorpusFeatures), "vmp_section");
    EXPECT_FALSE(get_field(p, mod_key::fuzzyCorpusImportMd5).empty());

    // At cheap nothing is read, so none of these verdicts can be reached.
    for (const auto& r : m.inspect("C:\\Games\\X", "cheap")) {
        EXPECT_EQ(get_field(r, mod_key::reportOnlyReasons), "");
        EXPECT_EQ(get_field(r, mod_key::peFingerprintStatus), "not_parsed");
    }
}

// ---------------------------------------------------------------- code section in memory

// A target whose memory is a list of blocks; it counts what is read.
class MemoryHandle : public ProcessHandle {
public:
    std::map<uint64_t, std::vector<uint8_t>> blocks;
    std::set<uint64_t> failing;
    // A generated range that costs no memory: byte at a = a & 0xFF.
    uint64_t generated_start = 0, generated_size = 0;
    uint64_t bytes_read = 0;
    size_t largest_read = 0;

    uint64_t value() const override { return 4; }
    std::optional<uint32_t> exit_code() override { return win::STILL_ACTIVE; }
    std::optional<std::string> image_path() override { return std::nullopt; }
    std::optional<MemoryRegion> query_region(uint64_t) override { return std::nullopt; }
    ReadResult read_memory(uint64_t address, void* buffer, size_t size) override {
        if (failing.count(address)) return {};
        largest_read = std::max(largest_read, size);
        if (address >= generated_start && address - generated_start < generated_size) {
            size_t n = std::min<uint64_t>(size, generated_size - (address - generated_start));
            auto* out = static_cast<uint8_t*>(buffer);
            for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(address + i);
            bytes_read += n;
            return {n == size, n};
        }
        for (auto& [start, bytes] : blocks)
            if (address >= start && address - start < bytes.size()) {
                size_t n = std::min<uint64_t>(size, bytes.size() - (address - start));
                std::memcpy(buffer, bytes.data() + (address - start), n);
                bytes_read += n;
                return {n == size, n};
            }
        return {};
    }
};

constexpr uint64_t kBase = 0x7ff600000000;

// Headers of an image with the given sections, placed at kBase.
MemoryHandle image_with(const test::PeBuilder& pe) {
    MemoryHandle h;
    std::vector<uint8_t> file = pe.build();
    file.resize(pe.headers_size());
    h.blocks[kBase] = std::move(file);
    return h;
}

TEST(ModuleTextDigest, DigestsTheTextSectionAsMapped) {
    test::PeBuilder pe;
    pe.add_section(".rdata", std::vector<uint8_t>(16, 1), 0x40000040);
    pe.add_section(".TEXT", std::vector<uint8_t>(300, 0xcc));  // names compare lowercased
    MemoryHandle h = image_with(pe);
    std::vector<uint8_t> code(300);
    for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<uint8_t>(i * 7);
    h.blocks[kBase + 0x2000] = code;  // the second section's address
    EXPECT_EQ(module_text_md5(&h, kBase), buffer_md5(code.data(), code.size()));
    EXPECT_EQ(module_text_md5(nullptr, kBase), "");
}

TEST(ModuleTextDigest, FailsWithoutAReadableTextSection) {
    test::PeBuilder pe;
    pe.add_section(".text", std::vector<uint8_t>(300, 0xcc));
    {
        MemoryHandle h = image_with(pe);
        h.blocks[kBase][0] = 'Z';
        EXPECT_EQ(module_text_md5(&h, kBase), "") << "no MZ";
    }
    {
        MemoryHandle h = image_with(pe);
        h.blocks[kBase][pe.pe_offset + 1] = 'X';
        EXPECT_EQ(module_text_md5(&h, kBase), "") << "no PE signature";
    }
    {
        test::PeBuilder other;
        other.add_section(".code", std::vector<uint8_t>(300, 0xcc));
        MemoryHandle h = image_with(other);
        h.blocks[kBase + 0x1000] = std::vector<uint8_t>(300, 0xcc);
        EXPECT_EQ(module_text_md5(&h, kBase), "") << "no .text";
    }
    {
        test::PeBuilder none;
        MemoryHandle h = image_with(none);
        EXPECT_EQ(module_text_md5(&h, kBase), "") << "no sections";
    }
    {
        test::PeBuilder big;
        test::PeSection text;
        text.name = ".text";
        text.virtual_size = 200000;
        text.raw_size = 0x200;
        big.sections.push_back(text);
        MemoryHandle h = image_with(big);
        h.generated_start = kBase + 0x1000;
        h.generated_size = 200000;
        ASSERT_EQ(module_text_md5(&h, kBase).size(), 32u);
        h.failing.insert(kBase + 0x1000 + 2 * kTextDigestChunk);  // the third chunk
        EXPECT_EQ(module_text_md5(&h, kBase), "") << "unreadable chunk";
    }
    {
        MemoryHandle h = image_with(pe);  // the section's memory is not there at all
        EXPECT_EQ(module_text_md5(&h, kBase), "") << "text unreadable";
    }
}

TEST(ModuleTextDigest, ReadsAtMostSixteenMebibytesInSixtyFourKibChunks) {
    test::PeBuilder pe;
    test::PeSection text;
    text.name = ".text";
    text.virtual_size = 0;                 // falls back to SizeOfRawData
    text.raw_size = 40u << 20;
    text.raw_pointer = 0;
    pe.sections.push_back(text);
    MemoryHandle h = image_with(pe);
    h.generated_start = kBase + 0x1000;
    h.generated_size = 40u << 20;
    const uint64_t headers = h.bytes_read;
    std::string digest = module_text_md5(&h, kBase);

    std::vector<uint8_t> expected(kTextDigestLimit);
    for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<uint8_t>(kBase + 0x1000 + i);
    EXPECT_EQ(digest, buffer_md5(expected.data(), expected.size()));
    // 64 + 4 + 20 + 40 bytes of headers, then exactly the capped section.
    EXPECT_EQ(h.bytes_read - headers, 64u + 4 + 20 + 40 + kTextDigestLimit);
    EXPECT_EQ(h.largest_read, kTextDigestChunk);
}

TEST(ModuleInspection, HeavyDigestsGameAndWrapperCodeOnly) {
    Machine m;
    ScopedSystemOverride use(m);
    test::PeBuilder pe;
    pe.add_section(".text", std::vector<uint8_t>(256, 0xc3));
    std::vector<uint8_t> file = pe.build();
    std::vector<uint8_t> headers(file.begin(), file.begin() + pe.headers_size());
    const uint64_t game_base = 0x140000000, kernel_base = 0x7ffa00000000;
    m.module("C:\\Games\\X\\Game.exe", file, game_base);
    m.module("C:\\Windows\\System32\\kernel32.dll", file, kernel_base);
    m.module("C:\\Games\\X\\broken.dll", file, 0x150000000);  // nothing mapped there
    m.game.memory[game_base] = headers;
    m.game.memory[game_base + 0x1000] = std::vector<uint8_t>(256, 0xc3);
    m.game.memory[kernel_base] = headers;
    m.game.memory[kernel_base + 0x1000] = std::vector<uint8_t>(256, 0xc3);

    auto records = m.inspect("C:\\Games\\X", "heavy");
    EXPECT_EQ(get_field(by_name(records, "Game.exe"), mod_key::textHashStatus), "hashed");
    EXPECT_EQ(get_field(by_name(records, "Game.exe"), mod_key::textMd5),
              buffer_md5(std::vector<uint8_t>(256, 0xc3).data(), 256));
    EXPECT_EQ(get_field(by_name(records, "kernel32.dll"), mod_key::textHashStatus), "not_checked");
    EXPECT_EQ(get_field(by_name(records, "kernel32.dll"), mod_key::textMd5), "");
    EXPECT_EQ(get_field(by_name(records, "broken.dll"), mod_key::textHashStatus), "unavailable");

    // A process that cannot be opened for reading: records all the same, no code read.
    m.game.denied_access = win::PROCESS_VM_READ;
    records = m.inspect("C:\\Games\\X", "heavy");
    ASSERT_EQ(records.size(), 3u);
    for (const auto& r : records) {
        EXPECT_EQ(get_field(r, mod_key::textHashStatus), "not_checked");
        EXPECT_EQ(get_field(r, mod_key::textMd5), "");
    }
    EXPECT_EQ(m.live_process_handles, 0);
}

}  // namespace
}  // namespace ac
