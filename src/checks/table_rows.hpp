// Row types of the detection tables. The rows themselves are generated from
// the data files (data/*.tsv) into checks/detection_tables.hpp at build time.
#pragma once

#include <string_view>

namespace ac::tables {

struct CheatProcessName {
    std::string_view name;  // lowercase executable base name
    bool quick_verdict;     // false: the inspection's own addition
};

struct KnownDigest {
    std::string_view md5;
    std::string_view note;
};

struct ToolProcess {
    std::string_view name;
    std::string_view category;
};

// Every non-empty digest must equal the fingerprint's.
struct CorpusBuild {
    std::string_view rule_id;
    std::string_view family;
    std::string_view code_md5;
    std::string_view import_md5;
    std::string_view data_md5;
};

struct PackerSection {
    std::string_view section;
    std::string_view feature;
};

struct LayoutRule {
    std::string_view rule_id;
    std::string_view family;
    std::string_view confidence;
    std::string_view features;  // comma list, all required
};

struct WrapperModule {
    std::string_view name;
};

struct VendorSigner {
    std::string_view module;
    std::string_view publisher;
};

}  // namespace ac::tables
