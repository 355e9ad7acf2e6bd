#include "reports/cheat_process_scan.hpp"

#include "checks/cheat_process_names.hpp"
#include "checks/fuzzy_corpus_check.hpp"
#include "checks/heavy_sweep_exemption.hpp"
#include "checks/known_cheat_digest_check.hpp"
#include "checks/tool_process_table.hpp"
#include "evidence/digest.hpp"
#include "evidence/file_source.hpp"
#include "evidence/origin.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "evidence/text.hpp"
#include "reports/fields.hpp"
#include "reports/record.hpp"

namespace ac {

CheatProcessMatch known_cheat_process_scan() {
    CheatProcessMatch match;
    auto processes = sys().process_snapshot();
    if (!processes) return match;
    for (const ProcessEntry& entry : *processes) {
        if (!is_known_cheat_process(to_lower(entry.exe_name))) continue;
        match.detected = true;
        match.name = entry.exe_name;
        const FileSource image = process_image(entry);
        match.path = image.path;
        if (image.facts.found) match.md5 = file_md5(image.path, image.facts, image.read_path);
        break;
    }
    return match;
}

bool is_cheat_detected() { return known_cheat_process_scan().detected; }

ReportRecord detect_cheat_process_record() {
    CheatProcessMatch match = known_cheat_process_scan();
    ReportRecord record = seeded_record(kCheatProcessRecordSeed);
    set_field(record, cheat_key::detected, flag_text(match.detected));
    set_field(record, cheat_key::md5, match.md5);
    set_field(record, cheat_key::name, match.name);
    set_field(record, cheat_key::path, match.path);
    // A cheat names its own file: bytes the interpreter cannot decode would
    // lose the whole record.
    repair_utf8_values(record);
    return record;
}

bool inspection_cheat_scan(ReportRecord& record, bool heavy) {
    auto processes = sys().process_snapshot();
    if (!processes || processes->empty()) return false;

    for (const ProcessEntry& entry : *processes) {
        const std::string lower_name = to_lower(entry.exe_name);
        const std::string_view category = tool_category(lower_name);
        const std::string_view category_word = category.empty() ? word::cheat_tool : category;
        const bool name_flag = inspection_name_flagged(lower_name) || !category.empty();
        if (!name_flag && !heavy) continue;

        const FileSource image = process_image(entry);
        const std::string& image_path = image.path;
        if (image_path.empty()) continue;

        if (name_flag && get_field(record, proc_key::knownCheatProcessHashMatch) != word::flag_true) {
            set_field(record, proc_key::knownCheatProcessNameOnlyMatch, word::flag_true);
            set_field(record, proc_key::knownCheatProcessName, entry.exe_name);
            set_field(record, proc_key::knownCheatProcessPath, image_path);
            set_field(record, proc_key::toolProcessCategory, category_word);
            set_field(record, proc_key::toolProcessMatchStrength, word::strength_name);
        }

        // No game directory here, so a process is never "game_dir".
        const std::string normalized = normalize_path(image_path);
        const std::string origin = classify_origin(normalized, std::string_view());
        const FileFacts& facts = image.facts;
        if (heavy && !name_flag && heavy_sweep_exempt(normalized, origin, facts)) continue;

        const std::string md5 = file_md5(image_path, facts, image.read_path);
        if (!md5.empty() && is_known_cheat_digest(md5)) {
            set_field(record, proc_key::knownCheatProcessHashMatch, word::flag_true);
            set_field(record, proc_key::knownCheatProcessNameOnlyMatch, word::flag_false);
            set_field(record, proc_key::knownCheatProcessName, entry.exe_name);
            set_field(record, proc_key::knownCheatProcessPath, image_path);
            set_field(record, proc_key::knownCheatProcessMd5, md5);
            set_field(record, proc_key::toolProcessCategory, category_word);
            set_field(record, proc_key::toolProcessMatchStrength, word::strength_hash);
            set_field(record, proc_key::blockedNameHashMatch, word::flag_true);
            set_field(record, proc_key::blockedNameHashMatchName, entry.exe_name);
            set_field(record, proc_key::blockedNameHashMatchHash, md5);
            return true;
        }

        if (!facts.found) continue;
        const PeFingerprint fingerprint = pe_fingerprint(image_path, facts, image.read_path);
        const FuzzyCorpusVerdict verdict = judge_fingerprint(fingerprint);
        if (!verdict.matched) continue;
        set_field(record, proc_key::fuzzyCheatProcessPath, image_path);
        set_field(record, proc_key::fuzzyCheatProcessName, entry.exe_name);
        set_field(record, proc_key::fuzzyCheatRuleId, verdict.ruleId);
        set_field(record, proc_key::fuzzyCheatFamily, verdict.family);
        set_field(record, proc_key::fuzzyCheatConfidence, verdict.confidence);
        set_field(record, proc_key::fuzzyCheatFeatures, verdict.features);
        set_field(record, proc_key::fuzzyCheatCodeMd5, fingerprint.codeMd5);
        set_field(record, proc_key::fuzzyCheatDataMd5, fingerprint.dataMd5);
        set_field(record, proc_key::fuzzyCheatImportMd5, fingerprint.importMd5);
        set_field(record, proc_key::fuzzyCheatSectionLayout, fingerprint.sectionLayout);
        if (verdict.strong) {
            set_field(record, proc_key::knownCheatProcessNameOnlyMatch, word::flag_false);
            set_field(record, proc_key::toolProcessCategory, category_word);
            set_field(record, proc_key::toolProcessMatchStrength, word::strength_fuzzy);
            set_field(record, proc_key::fuzzyCheatProcessMatch, word::flag_true);
            set_field(record, proc_key::fuzzyCheatProcessSuspect, word::flag_false);
            return true;
        }
        set_field(record, proc_key::fuzzyCheatProcessSuspect, word::flag_true);
    }
    return false;
}

}  // namespace ac
