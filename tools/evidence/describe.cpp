#include "describe.hpp"

#include <sys/stat.h>

#include "checks/cheat_process_names.hpp"
#include "checks/fuzzy_corpus_check.hpp"
#include "checks/graphics_wrapper_check.hpp"
#include "checks/known_cheat_digest_check.hpp"
#include "checks/tool_process_table.hpp"
#include "evidence/digest.hpp"
#include "evidence/origin.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "evidence/signature.hpp"
#include "evidence/text.hpp"
#include "reports/record.hpp"

namespace evidence {

namespace key = ac::evidence_key;
namespace word = ac::word;

std::string_view path_type(const std::string& path) {
    struct stat st {};
#ifdef _WIN32
    // The C runtime's stat fails on "C:\Games\"; the folder is what was meant.
    std::string trimmed = path;
    while (trimmed.size() > 3 && (trimmed.back() == '\\' || trimmed.back() == '/')) trimmed.pop_back();
    if (::stat(trimmed.c_str(), &st) != 0) return word::file_missing;
#else
    if (::stat(path.c_str(), &st) != 0) return word::file_missing;
#endif
    if (S_ISREG(st.st_mode)) return word::file_regular;
    if (S_ISDIR(st.st_mode)) return word::file_directory;
    return word::file_other;
}

namespace {

void add_table_matches(ac::ReportRecord& r, std::string_view md5, const ac::PeFingerprint& pe,
                       const std::string& normalized) {
    const std::string name = ac::base_name(normalized);
    if (ac::inspection_name_flagged(name)) {
        ac::set_field(r, key::tableCheatName, name);
        ac::set_field(r, key::tableCheatList,
                      ac::is_known_cheat_process(name) ? word::list_verdict : word::list_inspection);
    }
    ac::set_field(r, key::tableToolCategory, ac::tool_category(name));
    if (ac::is_graphics_wrapper(name)) ac::set_field(r, key::tableWrapperName, name);
    ac::set_field(r, key::tableKnownCheatDigest, ac::flag_text(ac::is_known_cheat_digest(md5)));
    ac::set_field(r, key::tableKnownBadHolderDigest, ac::flag_text(ac::is_known_bad_holder_digest(md5)));
    const ac::FuzzyCorpusVerdict corpus = ac::judge_fingerprint(pe);
    if (corpus.matched) {
        ac::set_field(r, key::tableCorpusRuleId, corpus.ruleId);
        ac::set_field(r, key::tableCorpusFamily, corpus.family);
        ac::set_field(r, key::tableCorpusConfidence, corpus.confidence);
        ac::set_field(r, key::tableCorpusStrong, ac::flag_text(corpus.strong));
    }
}

}  // namespace

ac::ReportRecord describe(const std::string& path, std::string_view game_dir) {
    using std::to_string;
    ac::ReportRecord r = ac::seeded_record(ac::kEvidenceRecordSeed);
    const std::string normalized = ac::normalize_path(path);
    const std::string_view type = path_type(path);
    ac::set_field(r, key::path, path);
    ac::set_field(r, key::normalizedPath, normalized);
    ac::set_field(r, key::origin, ac::classify_origin(normalized, ac::normalize_path(game_dir)));
    ac::set_field(r, key::fileType, type);

    if (type == word::file_regular) {
        const ac::FileFacts facts = ac::get_file_facts(path);
        const ac::PeFingerprint pe = ac::pe_fingerprint(path, facts);
        const ac::SignatureInfo sig = ac::signature_info(path, facts);
        const std::string md5 = ac::file_md5(path, facts);
        ac::set_field(r, key::found, ac::flag_text(facts.found));
        ac::set_field(r, key::size, to_string(facts.size));
        ac::set_field(r, key::lastWriteTime, to_string(facts.lastWriteTime));
        ac::set_field(r, key::md5, md5);
        ac::set_field(r, key::peParsed, ac::flag_text(pe.parsed));
        ac::set_field(r, key::peStatus, pe.status);
        ac::set_field(r, key::peMachine, ac::hex_u32(pe.machine));
        ac::set_field(r, key::peEntryPoint, ac::hex_u32(pe.entryPoint));
        ac::set_field(r, key::peSectionCount, to_string(pe.sectionCount));
        ac::set_field(r, key::peFileSize, to_string(pe.fileSize));
        ac::set_field(r, key::peSectionLayout, pe.sectionLayout);
        ac::set_field(r, key::peCodeSectionName, pe.codeSectionName);
        ac::set_field(r, key::peCodeMd5, pe.codeMd5);
        ac::set_field(r, key::peDataMd5, pe.dataMd5);
        ac::set_field(r, key::peImportMd5, pe.importMd5);
        ac::set_field(r, key::signatureStatus, sig.status);
        ac::set_field(r, key::signatureSource, sig.source);
        ac::set_field(r, key::signaturePublisher, sig.publisher);
        ac::set_field(r, key::signatureIssuer, sig.issuer);
        ac::set_field(r, key::signatureThumbprint, sig.signerThumbprint);
        ac::set_field(r, key::signatureTrustedMicrosoft, ac::flag_text(sig.trustedMicrosoft));
        add_table_matches(r, md5, pe, normalized);
    } else {
        // A name still matches the name tables, whatever the path holds.
        add_table_matches(r, "", ac::PeFingerprint{}, normalized);
    }
    // Paths and section names are system code page bytes; JSON wants UTF-8.
    ac::repair_utf8_values(r);
    return r;
}

std::string json_line(const ac::ReportRecord& record) {
    std::string out = "{";
    for (const auto& [k, value] : record) {
        if (out.size() > 1) out += ',';
        out += '"' + ac::json_escape(k) + "\":\"" + ac::json_escape(value) + '"';
    }
    return out + "}\n";
}

}  // namespace evidence
