// PE header reader and fingerprint.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/system.hpp"

namespace ac {

struct PeFingerprint {
    bool parsed = false;
    std::string status;
    uint32_t machine = 0;
    uint32_t entryPoint = 0;
    uint32_t sectionCount = 0;
    uint64_t fileSize = 0;
    std::string sectionLayout;
    std::string codeSectionName;
    std::string codeMd5;
    std::string dataMd5;
    std::string importMd5;
};

PeFingerprint empty_pe_fingerprint();
// Opens the file and parses its first size() bytes (the size when opened).
PeFingerprint read_pe_fingerprint(std::string_view path, const FileFacts& facts);
// The parser over the first `length` bytes of an open file. It reads the
// headers, then only the chosen sections and the import tables, never the
// whole file; a read that fails or ends early gives "open_error".
PeFingerprint parse_pe_fingerprint(FileReader& file, uint64_t length);
// The same over bytes in memory; fileSize is the buffer length.
PeFingerprint parse_pe_fingerprint(std::span<const uint8_t> file);
// Cached by normalised path, validated by facts; the bytes are read through
// `read_path` when given (see FileSource).
PeFingerprint pe_fingerprint(std::string_view path, const FileFacts& facts, std::string_view read_path = {});
std::string read_import_name(std::span<const uint8_t> file, uint64_t offset);

}  // namespace ac
