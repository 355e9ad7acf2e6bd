#include "evidence/pe_fingerprint.hpp"
namespace ac {
PeFingerprint empty_pe_fingerprint() { PeFingerprint f; f.status = "not_parsed"; return f; }  // PLACEHOLDER
PeFingerprint read_pe_fingerprint(std::string_view, const FileFacts&) { return empty_pe_fingerprint(); }
PeFingerprint parse_pe_fingerprint(std::span<const uint8_t>) { return empty_pe_fingerprint(); }
PeFingerprint pe_fingerprint(std::string_view, const FileFacts&) { return empty_pe_fingerprint(); }
std::string read_import_name(std::span<const uint8_t>, uint64_t) { return {}; }
}
