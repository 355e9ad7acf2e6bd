// reference: prints docs/reference.md from the field tables the module uses.
//
//   reference FIELDS_HPP FIGURES_TSV > docs/reference.md
//
// FIELDS_HPP (src/reports/fields.hpp) is read only to find every key and word
// it declares: one without an entry in src/reports/field_docs.hpp stops the
// run (exit 1), so a key cannot ship undocumented. FIGURES_TSV
// (bench/figures.tsv) holds the benchmark figures of the cost table.
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "checks/heavy_sweep_exemption.hpp"
#include "reference/content.hpp"
#include "reports/field_docs.hpp"

namespace {

using namespace ac::docs;

struct DocTable {
    std::string_view title;
    std::string_view intro;
    std::span<const KeyDoc> docs;
    std::span<const ac::FieldDefault> seed;  // empty: no seeded defaults
};

const std::map<std::string, DocTable>& doc_tables() {
    static const std::map<std::string, DocTable> tables = {
        {"proc_key",
         {"`inspect_process` record", "67 keys always present (seeded with the default shown); the keys marked "
                                      "\"not seeded\" appear only when their step writes them.",
          kProcessKeyDocs, ac::kProcessRecordSeed}},
        {"mod_key",
         {"`inspect_process_modules` record", "One record per loaded module, in module snapshot order, always "
                                              "these 35 keys. A pid below 1 or a failed snapshot gives an empty list.",
          kModuleKeyDocs, {}}},
        {"cheat_key",
         {"`detect_cheat_process` record", "Always these 4 keys; `detected` \"0\" with three empty texts when no "
                                           "program on the quick verdict's list runs. The record is never empty.",
          kCheatKeyDocs, ac::kCheatProcessRecordSeed}},
        {"info_key",
         {"`get_system_info` record", "Each key is present only when its value could be read; the record may be "
                                      "empty.",
          kInfoKeyDocs, {}}},
        {"region_key",
         {"Region records inside `privateExecutableRegionsJson`", "A record holds `sampleBytes` and `sampleHex`, or "
                                                                  "`sampleStatus`, never both.",
          kRegionKeyDocs, {}}},
        {"evidence_key",
         {"`evidence` tool record", "One JSON object per path and line; a path that is not a regular file keeps "
                                    "every key but `path`, `normalizedPath`, `origin`, `fileType` and the name "
                                    "matches at its default.",
          kEvidenceKeyDocs, ac::kEvidenceRecordSeed}},
    };
    return tables;
}

std::string cell(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '|') out += "\\|";
        else out += c;
    }
    return out;
}

std::string quoted(std::string_view text) { return text.empty() ? "empty" : "\"" + cell(text) + "\""; }

std::string_view role_text(Role role) {
    switch (role) {
        case Role::verdict: return "sets `suspicious`";
        case Role::report_only: return "report-only";
        case Role::fact: break;
    }
    return "";
}

std::string level_text(std::string_view level) {
    if (level == "medium") return "medium, heavy";
    if (level == "all") return "all";
    return std::string(level);
}

// ------------------------------------------------------------ completeness

struct Declared {
    std::string ns;
    std::string name;
    std::string value;
};

std::vector<Declared> declared_in(const std::string& source) {
    std::vector<Declared> out;
    static const std::regex ns_open(R"(^namespace (\w+) \{)");
    static const std::regex constant(R"re(inline constexpr std::string_view (\w+) = "([^"]*)";)re");
    std::istringstream lines(source);
    std::string line, ns;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_search(line, m, ns_open) && m[1] != "ac") ns = m[1];
        else if (line.rfind("}  // namespace", 0) == 0) ns.clear();
        else if (!ns.empty() && std::regex_search(line, m, constant)) out.push_back({ns, m[1], m[2]});
    }
    return out;
}

bool complete(const std::string& fields_source) {
    std::set<std::string_view> documented_words;
    for (const WordGroup& group : kWordGroups)
        for (const WordDoc& w : group.words) documented_words.insert(w.word);

    bool ok = true;
    const std::vector<Declared> declared = declared_in(fields_source);
    if (declared.empty()) {
        std::fputs("reference: no key or word found in the fields header\n", stderr);
        return false;
    }
    for (const Declared& d : declared) {
        bool found = false;
        if (d.ns == "word") {
            found = documented_words.count(d.value) != 0;
        } else if (auto table = doc_tables().find(d.ns); table != doc_tables().end()) {
            for (const KeyDoc& doc : table->second.docs) found = found || doc.key == d.value;
        } else {
            std::fprintf(stderr, "reference: namespace %s has no table in field_docs.hpp\n", d.ns.c_str());
            ok = false;
            continue;
        }
        if (!found) {
            std::fprintf(stderr, "reference: %s::%s (\"%s\") is not described in src/reports/field_docs.hpp\n",
                         d.ns.c_str(), d.name.c_str(), d.value.c_str());
            ok = false;
        }
    }
    for (const auto& [ns, table] : doc_tables())
        for (const ac::FieldDefault& seeded : table.seed) {
            bool found = false;
            for (const KeyDoc& doc : table.docs) found = found || doc.key == seeded.first;
            if (!found) {
                std::fprintf(stderr, "reference: seeded key %.*s has no description\n",
                             static_cast<int>(seeded.first.size()), seeded.first.data());
                ok = false;
            }
        }
    return ok;
}

// ------------------------------------------------------------ figures

using Figures = std::map<std::pair<std::string, std::string>, std::string>;

Figures read_figures(std::istream& in) {
    Figures figures;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string c; std::getline(row, c, '\t');) cells.push_back(c);
        if (header) {
            header = false;
            continue;
        }
        if (cells.size() != 5) continue;
        figures[{cells[0], cells[1]}] = cells[2] + " " + cells[4] + " cpu, " + cells[3] + " " + cells[4] + " wall";
    }
    return figures;
}

// ------------------------------------------------------------ printing

void print_key_table(const DocTable& table) {
    std::printf("### %s\n\n%s\n\n", std::string(table.title).c_str(), std::string(table.intro).c_str());
    std::printf("| key | default | form | levels | role | meaning |\n|---|---|---|---|---|---|\n");
    for (const KeyDoc& doc : table.docs) {
        // Records without seeded defaults are written whole: no default to show.
        std::string def = "—";
        if (!table.seed.empty()) {
            def = "not seeded";
            for (const ac::FieldDefault& seeded : table.seed)
                if (seeded.first == doc.key) def = quoted(seeded.second);
            if (doc.key == ac::proc_key::scanLevel) def = "the level word";
        }
        std::printf("| `%s` | %s | %s | %s | %s | %s |\n", std::string(doc.key).c_str(), def.c_str(),
                    std::string(doc.form).c_str(), level_text(doc.level).c_str(),
                    std::string(role_text(doc.role)).c_str(), cell(doc.meaning).c_str());
    }
    std::printf("\n");
}

void print_costs(const Figures& figures) {
    std::printf("## Functions and their cost\n\n%s\n\n", std::string(reference::kCostIntro).c_str());
    std::printf("| function | level | cost grows with | measured (Linux stand-in) | benchmark |\n|---|---|---|---|---|\n");
    for (const reference::Cost& cost : reference::kCosts) {
        std::string measured = "—";
        std::string bench = "—";
        if (!cost.bench.empty()) {
            auto it = figures.find({std::string(cost.bench), std::string(cost.run)});
            measured = it == figures.end() ? "not measured" : it->second;
            bench = "`" + std::string(cost.bench) + " " + std::string(cost.run) + "`";
        }
        std::printf("| `%s` | %s | %s | %s | %s |\n", std::string(cost.function).c_str(),
                    std::string(cost.level).c_str(), cell(cost.grows_with).c_str(), measured.c_str(), bench.c_str());
    }
    std::printf("\n");
}

void print_verdicts() {
    std::printf("## What sets `suspicious`\n\n%s\n\n", std::string(reference::kSuspiciousIntro).c_str());
    for (const char* ns : {"proc_key", "mod_key"}) {
        const DocTable& table = doc_tables().at(ns);
        for (Role role : {Role::verdict, Role::report_only}) {
            std::printf("- %s, %s:", std::string(table.title).c_str(),
                        role == Role::verdict ? "sets `suspicious`" : "report-only");
            const char* sep = " ";
            for (const KeyDoc& doc : table.docs)
                if (doc.role == role) {
                    std::printf("%s`%s`", sep, std::string(doc.key).c_str());
                    sep = ", ";
                }
            std::printf("\n");
        }
    }
    std::printf("\n");
}

void print_words() {
    std::printf("## Status, origin, reason and category words\n\n");
    for (const WordGroup& group : kWordGroups) {
        std::printf("### %s\n\n| word | when |\n|---|---|\n", std::string(group.title).c_str());
        for (const WordDoc& w : group.words)
            std::printf("| \"%s\" | %s |\n", cell(w.word).c_str(), cell(w.when).c_str());
        std::printf("\n");
    }
}

void print_exemption_folders() {
    std::printf("## Folders the heavy sweep never passes over\n\n%s\n\n",
                std::string(reference::kExemptionIntro).c_str());
    std::printf("| under | folder |\n|---|---|\n");
    for (const ac::WritableSystemFolder& f : ac::user_writable_system_folders())
        std::printf("| %s | `%s` |\n", f.root == ac::SystemRoot::windows ? "Windows directory" : "system directory",
                    cell(f.folder).c_str());
    std::printf("\n");
}

void print_sections(std::span<const reference::Section> sections) {
    for (const reference::Section& s : sections)
        std::printf("## %s\n\n%s\n", std::string(s.title).c_str(), std::string(s.body).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: reference FIELDS_HPP FIGURES_TSV > docs/reference.md\n", stderr);
        return 2;
    }
    std::ifstream fields(argv[1]);
    std::ifstream figures_file(argv[2]);
    if (!fields || !figures_file) {
        std::fprintf(stderr, "reference: cannot read %s\n", !fields ? argv[1] : argv[2]);
        return 2;
    }
    std::stringstream source;
    source << fields.rdbuf();
    if (!complete(source.str())) return 1;
    const Figures figures = read_figures(figures_file);

    std::printf("%s\n", std::string(reference::kPreamble).c_str());
    print_costs(figures);
    std::printf("## Value forms\n\n| form | text |\n|---|---|\n");
    for (const FormDoc& f : kForms) std::printf("| %s | %s |\n", std::string(f.form).c_str(), cell(f.meaning).c_str());
    std::printf("\n## Records\n\n%s\n\n", std::string(reference::kRecordsIntro).c_str());
    for (const char* ns : {"proc_key", "mod_key", "cheat_key", "info_key", "region_key", "evidence_key"})
        print_key_table(doc_tables().at(ns));
    print_verdicts();
    print_words();
    print_exemption_folders();
    print_sections(reference::kSections);
    return 0;
}
