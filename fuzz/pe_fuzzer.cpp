// libFuzzer target: the PE reader over arbitrary bytes. Any crash, sanitizer
// report, status outside the vocabulary or difference from the plain
// reference reading is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "evidence/pe_fingerprint.hpp"
#include "pe_reference.hpp"

namespace {

bool known_status(std::string_view status) {
    for (std::string_view word : {"not_pe", "bad_pe_header", "bad_optional_header", "unsupported_optional_header",
                                  "bad_section_table", "parsed"})
        if (status == word) return true;
    return false;
}

void check_name(const std::string& name) {
    if (name.size() > 256) std::abort();
    for (char c : name)
        if (c < 0x20 || c > 0x7E || (c >= 'A' && c <= 'Z')) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    ac::PeFingerprint fp = ac::parse_pe_fingerprint(bytes);
    if (!known_status(fp.status) || fp.parsed != (fp.status == "parsed") || fp.fileSize != size) std::abort();
    // The reader skips work a plain reading does (digests of unused sections,
    // table walks per RVA); the answers must not differ.
    ac::PeFingerprint ref = ac::fuzz::reference_fingerprint(bytes);
    if (fp.status != ref.status || fp.machine != ref.machine || fp.entryPoint != ref.entryPoint ||
        fp.sectionCount != ref.sectionCount || fp.sectionLayout != ref.sectionLayout ||
        fp.codeSectionName != ref.codeSectionName || fp.codeMd5 != ref.codeMd5 || fp.dataMd5 != ref.dataMd5 ||
        fp.importMd5 != ref.importMd5)
        std::abort();
    // A code section name needs a digest (the name itself may be empty).
    if (fp.codeMd5.empty() && !fp.codeSectionName.empty()) std::abort();
    if (!fp.parsed && !(fp.sectionLayout.empty() && fp.codeMd5.empty() && fp.importMd5.empty())) std::abort();

    uint64_t from_header = size >= 64 ? (uint64_t{data[60]} | uint64_t{data[61]} << 8 | uint64_t{data[62]} << 16 |
                                         uint64_t{data[63]} << 24)
                                      : 0;
    for (uint64_t offset : {uint64_t{0}, uint64_t{60}, from_header, uint64_t{size} - (size ? 1 : 0), uint64_t{size},
                            uint64_t{size} + 1, ~uint64_t{0}})
        check_name(ac::read_import_name(bytes, offset));
    return 0;
}
