#include "reports/module_report.hpp"

#include <cstring>
#include <vector>

#include "checks/fuzzy_corpus_check.hpp"
#include "checks/graphics_wrapper_check.hpp"
#include "checks/known_cheat_digest_check.hpp"
#include "evidence/digest.hpp"
#include "evidence/file_source.hpp"
#include "evidence/origin.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "evidence/signature.hpp"
#include "evidence/text.hpp"
#include "reports/fields.hpp"
#include "reports/record.hpp"

namespace ac {
namespace {

constexpr uint32_t kModuleProcessAccess = win::PROCESS_QUERY_INFORMATION | win::PROCESS_VM_READ;  // 0x410

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// A read that fills the whole buffer or nothing.
bool read_exact(ProcessHandle& process, uint64_t address, void* buffer, size_t size) {
    ReadResult r = process.read_memory(address, buffer, size);
    return r.ok && r.bytes == size;
}

// base + offset for a signed offset, refusing results outside the address
// space instead of wrapping into unrelated memory.
bool offset_address(uint64_t base, int64_t offset, uint64_t& out) {
    if (offset < 0) {
        uint64_t back = static_cast<uint64_t>(-(offset + 1)) + 1;
        if (back > base) return false;
        out = base - back;
        return true;
    }
    uint64_t forward = static_cast<uint64_t>(offset);
    if (forward > UINT64_MAX - base) return false;
    out = base + forward;
    return true;
}

bool add_address(uint64_t a, uint64_t b, uint64_t& out) {
    if (b > UINT64_MAX - a) return false;
    out = a + b;
    return true;
}

// Digest of [start, start + length) of the target, read in chunks into one buffer.
std::string range_md5(ProcessHandle* process, uint64_t start, uint64_t length) {
    if (!process || start == 0 || length == 0) return {};
    auto hasher = sys().md5();
    if (!hasher) return {};
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(length, kTextDigestChunk)));
    uint64_t done = 0;
    while (done < length) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(length - done, kTextDigestChunk));
        uint64_t address;
        if (!add_address(start, done, address)) return {};
        ReadResult r = process->read_memory(address, buffer.data(), chunk);
        if (!r.ok || r.bytes == 0) return {};
        // A short read hashes what came back and carries on from there.
        size_t got = std::min(r.bytes, chunk);
        if (!hasher->update(buffer.data(), got)) return {};
        done += got;
    }
    auto digest = hasher->finish();
    return digest ? hex_lower(digest->data(), digest->size()) : std::string();
}

void append_reason(std::string& text, std::string_view reason) {
    if (!text.empty()) text += ',';
    text += reason;
}

ReportRecord inspect_module(const ModuleEntry& module, ProcessHandle* process, const std::string& game_dir,
                            ScanLevel level) {
    const bool deep = scan_depth(level) >= scan_depth(ScanLevel::medium);

    // 1. names, origin, wrapper
    const std::string& path = module.path;
    const std::string basename = base_name(path);
    const std::string lower_path = normalize_path(path);
    const std::string lower_basename = to_lower(basename);
    const std::string origin = classify_origin(lower_path, game_dir);
    const bool wrapper = is_graphics_wrapper(lower_basename);

    // 2. suspicious list (the path test stands on its own, so game modules can carry it)
    std::vector<std::string> suspicious_list;
    if (is_user_writable_path(lower_path)) suspicious_list.emplace_back(word::reason_user_writable_path);
    if (wrapper && !game_dir.empty() && lower_path.size() >= game_dir.size() &&
        lower_path.compare(0, game_dir.size(), game_dir) == 0)
        suspicious_list.emplace_back(word::reason_unexpected_wrapper);
    std::string suspicious_text = join_comma(suspicious_list);
    std::vector<std::string> report_only;

    // 3. facts, through the mapped file itself where the adapter offers it
    const FileSource file = resolve_file(path, module.content_path);
    const FileFacts& facts = file.facts;

    // 4. hash reasons and the candidate rule
    std::vector<std::string> hash_reasons;
    if (origin == word::origin_game_dir) hash_reasons.emplace_back(word::reason_game_dir);
    if (wrapper) hash_reasons.emplace_back(word::reason_wrapper_module);
    if (origin == word::origin_user_writable) hash_reasons.emplace_back(word::reason_user_writable_path);
    if (origin == word::origin_other) hash_reasons.emplace_back(word::reason_non_system_origin);
    const bool candidate = !hash_reasons.empty();

    // 5. file digest
    std::string md5;
    std::string_view hash_status = word::not_hashed_policy;
    bool digest_match = false;
    if (candidate && !deep) {
        hash_status = word::not_hashed_scan_level;
    } else if (candidate) {
        FileDigest digest = file_digest(path, facts, file.read_path);
        if (digest.outcome == DigestOutcome::hashed) {
            md5 = std::move(digest.md5);
            hash_status = word::hashed;
            digest_match = is_known_cheat_digest(md5);
        } else {
            hash_status = digest.outcome == DigestOutcome::too_large ? word::not_hashed_too_large : word::hash_error;
        }
    }

    // 6. fingerprint and corpus
    PeFingerprint fingerprint = empty_pe_fingerprint();
    FuzzyCorpusVerdict corpus;
    if (candidate && deep && facts.found) {
        fingerprint = pe_fingerprint(path, facts, file.read_path);
        corpus = judge_fingerprint(fingerprint);
    }

    // 7. signature
    SignatureInfo signature = empty_signature_info();
    signature.status = std::string(word::not_checked);
    if (candidate) {
        if (deep) {
            signature = signature_info(path, facts);
        } else {
            signature.status = std::string(word::not_checked_scan_level);
        }
    }

    // 8. trusted flag
    const bool trusted = is_system_origin(origin) && signature.status == word::sig_valid &&
                         (signature.trustedMicrosoft || (wrapper && wrapper_signature_accepted(lower_basename, signature)));

    // 9. later verdicts
    if (digest_match) {
        report_only.emplace_back(word::reason_known_cheat_hash);
        append_reason(suspicious_text, word::reason_known_cheat_hash);
    }
    if (corpus.matched && corpus.strong) {
        report_only.emplace_back(word::reason_fuzzy_match);
        append_reason(suspicious_text, word::reason_fuzzy_match);
    } else if (corpus.matched) {
        report_only.emplace_back(word::reason_fuzzy_suspect);
    }
    if (wrapper && !is_system_origin(origin) && origin != word::origin_game_dir)
        report_only.emplace_back(word::reason_wrapper_non_system);
    if (deep && wrapper && is_system_origin(origin) && wrapper_signature_distrusted(lower_basename, signature)) {
        report_only.emplace_back(word::reason_system_wrapper_untrusted);
        append_reason(suspicious_text, word::reason_system_wrapper_untrusted);
    }

    // 10. code section in memory
    std::string text_md5;
    std::string_view text_status = word::not_checked;
    if (process && (origin == word::origin_game_dir || wrapper)) {
        if (level == ScanLevel::heavy) {
            text_md5 = module_text_md5(process, module.base);
            text_status = text_md5.empty() ? word::unavailable : word::hashed;
        } else {
            text_status = word::not_checked_scan_level;
        }
    }

    // 11. the record
    ReportRecord r;
    set_field(r, mod_key::basename, basename);
    set_field(r, mod_key::blockedHashMatch, flag_text(digest_match));
    set_field(r, mod_key::fuzzyCorpusCodeMd5, fingerprint.codeMd5);
    set_field(r, mod_key::fuzzyCorpusConfidence, corpus.confidence);
    set_field(r, mod_key::fuzzyCorpusDataMd5, fingerprint.dataMd5);
    set_field(r, mod_key::fuzzyCorpusFamily, corpus.family);
    set_field(r, mod_key::fuzzyCorpusFeatures, corpus.features);
    set_field(r, mod_key::fuzzyCorpusImportMd5, fingerprint.importMd5);
    set_field(r, mod_key::fuzzyCorpusMatch, flag_text(corpus.matched && corpus.strong));
    set_field(r, mod_key::fuzzyCorpusRuleId, corpus.ruleId);
    set_field(r, mod_key::fuzzyCorpusSectionLayout, fingerprint.sectionLayout);
    set_field(r, mod_key::fuzzyCorpusSuspect, flag_text(corpus.matched && !corpus.strong));
    set_field(r, mod_key::hashReason, join_comma(hash_reasons));
    set_field(r, mod_key::hashStatus, hash_status);
    set_field(r, mod_key::issuer, signature.issuer);
    set_field(r, mod_key::knownCheatHashMatch, flag_text(digest_match));
    set_field(r, mod_key::lastWriteTime, facts.found ? std::to_string(facts.lastWriteTime) : std::string());
    set_field(r, mod_key::md5, md5);
    set_field(r, mod_key::name, basename);
    set_field(r, mod_key::origin, origin);
    set_field(r, mod_key::path, path);
    set_field(r, mod_key::peFingerprintStatus, fingerprint.status);
    set_field(r, mod_key::publisher, signature.publisher);
    set_field(r, mod_key::reason, suspicious_text);
    set_field(r, mod_key::reportOnlyReasons, join_comma(report_only));
    set_field(r, mod_key::scanLevel, scan_level_word(level));
    set_field(r, mod_key::signatureSource, signature.source);
    set_field(r, mod_key::signatureStatus, signature.status);
    set_field(r, mod_key::signerThumbprint, signature.signerThumbprint);
    set_field(r, mod_key::size, facts.found ? std::to_string(facts.size) : std::string());
    set_field(r, mod_key::suspicious, flag_text(!suspicious_text.empty()));
    set_field(r, mod_key::suspiciousReasons, suspicious_text);
    set_field(r, mod_key::textHashStatus, text_status);
    set_field(r, mod_key::textMd5, text_md5);
    set_field(r, mod_key::trustedMicrosoft, flag_text(trusted));
    return r;
}

}  // namespace

std::vector<ReportRecord> inspect_process_modules_records(int32_t pid, const char* game_dir,
                                                          const char* scan_level) {
    std::vector<ReportRecord> records;
    if (pid < 1) return records;

    const ScanLevel level = parse_scan_level(scan_level);
    const std::string normalized_game_dir = normalize_path(game_dir ? std::string_view(game_dir) : std::string_view());

    auto modules = sys().module_snapshot(static_cast<uint32_t>(pid));
    if (!modules) return records;
    // Optional: without it the records still come, only no code is read from memory.
    std::unique_ptr<ProcessHandle> process = sys().open_process(static_cast<uint32_t>(pid), kModuleProcessAccess);
    if (modules->empty()) return records;

    records.reserve(modules->size());
    for (const ModuleEntry& module : *modules)
        records.push_back(inspect_module(module, process.get(), normalized_game_dir, level));
    process.reset();

    for (ReportRecord& record : records) repair_utf8_values(record);
    return records;
}

std::string module_text_md5(ProcessHandle* process, uint64_t base) {
    if (!process) return {};

    uint8_t dos[64];
    if (!read_exact(*process, base, dos, sizeof dos) || le16(dos) != 0x5A4D) return {};
    const auto e_lfanew = static_cast<int32_t>(le32(dos + 60));

    uint64_t nt;
    if (!offset_address(base, e_lfanew, nt)) return {};
    uint8_t signature[4];
    if (!read_exact(*process, nt, signature, sizeof signature) || le32(signature) != 0x00004550) return {};

    uint8_t coff[20];
    uint64_t coff_address;
    if (!add_address(nt, 4, coff_address) || !read_exact(*process, coff_address, coff, sizeof coff)) return {};
    const uint16_t section_count = le16(coff + 2);
    const uint16_t optional_size = le16(coff + 16);
    if (section_count == 0) return {};

    uint64_t table;
    if (!add_address(nt, 24u + optional_size, table)) return {};
    for (uint32_t i = 0; i < section_count; ++i) {
        uint8_t header[40];
        uint64_t at;
        if (!add_address(table, 40ull * i, at) || !read_exact(*process, at, header, sizeof header)) return {};
        char name[9] = {};
        std::memcpy(name, header, 8);
        if (to_lower(name) != ".text") continue;

        const uint32_t virtual_size = le32(header + 8);
        const uint32_t virtual_address = le32(header + 12);
        const uint32_t raw_size = le32(header + 16);
        uint64_t length = virtual_size != 0 ? virtual_size : raw_size;
        if (length > kTextDigestLimit) length = kTextDigestLimit;
        uint64_t start;
        if (!add_address(base, virtual_address, start)) return {};
        return range_md5(process, start, length);
    }
    return {};
}

}  // namespace ac
