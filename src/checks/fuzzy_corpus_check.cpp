// The fuzzy corpus: builds that resemble known cheat builds, judged part by
// part on a PeFingerprint. Two kinds of rules, tried in table order, first
// match wins:
//  - known builds, identified by section digests: identical code is strong;
//  - layout rules over section names (data/fuzzy_corpus_sections.tsv) and
//    flags that packers and protectors leave: cheats hide behind them, but so
//    does ordinary commercial software, so these are suspects only, never strong.
#include "checks/fuzzy_corpus_check.hpp"

#include <set>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "checks/detection_tables.hpp"
#include "evidence/text.hpp"
#include "reports/fields.hpp"

namespace ac {
namespace {

// ------------------------------------------------------------ known builds

// Known builds (data/fuzzy_corpus_builds.tsv): each non-empty digest must
// equal the fingerprint's. Strong when the code section is part of the
// identity, or import and data digests both are; an import set alone is
// shared by too many small programs to be more than a suspect.

constexpr std::string_view kWritableCode = word::feature_writable_code;
constexpr std::string_view kNoImportTable = word::feature_no_import_table;

// Layout rules (data/fuzzy_corpus_layout_rules.tsv), most specific first,
// since the first match is reported; every feature must be present.
struct LayoutRule {
    std::string_view rule_id;
    std::string_view family;
    std::string_view confidence;
    std::vector<std::string_view> features;
};

const std::vector<LayoutRule>& layout_rules() {
    static const std::vector<LayoutRule> rules = [] {
        std::vector<LayoutRule> out;
        for (const auto& row : tables::kLayoutRules) {
            LayoutRule rule{row.rule_id, row.family, row.confidence, {}};
            std::string_view rest = row.features;
            while (!rest.empty()) {
                size_t comma = rest.find(',');
                rule.features.push_back(rest.substr(0, comma));
                rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            }
            out.push_back(std::move(rule));
        }
        return out;
    }();
    return rules;
}

constexpr uint32_t kScnMemExecute = 0x20000000;
constexpr uint32_t kScnMemWrite = 0x80000000;

bool parse_u32(std::string_view text, int base, uint32_t& out) {
    if (text.empty() || text.size() > (base == 16 ? 8u : 10u)) return false;
    uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else return false;
        value = value * base + digit;
    }
    if (value > 0xFFFFFFFFull) return false;
    out = static_cast<uint32_t>(value);
    return true;
}

// Features of the section layout text: "name:VirtualSize:SizeOfRawData:flags"
// items joined with ";". The numbers are read from the right, so a name that
// holds ":" still parses; an item that does not parse adds nothing.
std::set<std::string_view> layout_features(const PeFingerprint& fp) {
    static const std::unordered_map<std::string_view, std::string_view> section_feature = [] {
        std::unordered_map<std::string_view, std::string_view> m;
        for (const auto& row : tables::kPackerSections) m.emplace(row.section, row.feature);
        return m;
    }();
    std::set<std::string_view> features;
    std::string_view layout = fp.sectionLayout;
    while (!layout.empty()) {
        size_t end = layout.find(';');
        std::string_view item = layout.substr(0, end);
        layout = end == std::string_view::npos ? std::string_view() : layout.substr(end + 1);

        size_t c3 = item.rfind(':');
        if (c3 == std::string_view::npos || c3 == 0) continue;
        size_t c2 = item.rfind(':', c3 - 1);
        if (c2 == std::string_view::npos || c2 == 0) continue;
        size_t c1 = item.rfind(':', c2 - 1);
        if (c1 == std::string_view::npos) continue;
        uint32_t virtual_size, raw_size, flags;
        if (!parse_u32(item.substr(c1 + 1, c2 - c1 - 1), 10, virtual_size) ||
            !parse_u32(item.substr(c2 + 1, c3 - c2 - 1), 10, raw_size) ||
            !parse_u32(item.substr(c3 + 1), 16, flags))
            continue;

        auto named = section_feature.find(to_lower(item.substr(0, c1)));
        if (named != section_feature.end()) features.insert(named->second);
        if ((flags & (kScnMemExecute | kScnMemWrite)) == (kScnMemExecute | kScnMemWrite))
            features.insert(kWritableCode);
    }
    if (fp.importMd5.empty()) features.insert(kNoImportTable);
    return features;
}

FuzzyCorpusVerdict known_build_verdict(const PeFingerprint& fp) {
    for (const tables::CorpusBuild& build : tables::kCorpusBuilds) {
        std::vector<std::string> matched;
        bool all_equal = true;
        for (auto [name, expected, actual] :
             {std::tuple{"code_md5", build.code_md5, std::string_view(fp.codeMd5)},
              std::tuple{"import_md5", build.import_md5, std::string_view(fp.importMd5)},
              std::tuple{"data_md5", build.data_md5, std::string_view(fp.dataMd5)}}) {
            if (expected.empty()) continue;
            if (expected != actual) all_equal = false;
            matched.emplace_back(name);
        }
        if (!all_equal || matched.empty()) continue;
        bool strong = !build.code_md5.empty() || (!build.import_md5.empty() && !build.data_md5.empty());
        return {true, strong, std::string(build.rule_id), std::string(build.family),
                std::string(strong ? word::confidence_high : word::confidence_medium), join_comma(matched)};
    }
    return {};
}

}  // namespace

FuzzyCorpusVerdict judge_fingerprint(const PeFingerprint& fingerprint) {
    if (!fingerprint.parsed) return {};
    if (FuzzyCorpusVerdict verdict = known_build_verdict(fingerprint); verdict.matched) return verdict;

    const std::set<std::string_view> present = layout_features(fingerprint);
    for (const LayoutRule& rule : layout_rules()) {
        bool all = true;
        for (std::string_view feature : rule.features) all = all && present.count(feature);
        if (!all) continue;
        std::vector<std::string> names(rule.features.begin(), rule.features.end());
        return {true, false, std::string(rule.rule_id), std::string(rule.family), std::string(rule.confidence),
                join_comma(names)};
    }
    return {};
}

}  // namespace ac
