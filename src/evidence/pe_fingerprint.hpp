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
// Reads the file (one read into one buffer) and parses it.
PeFingerprint read_pe_fingerprint(std::string_view path, const FileFacts& facts);
// The parser over bytes already in memory; fileSize is the buffer length.
PeFingerprint parse_pe_fingerprint(std::span<const uint8_t> file);
// Cached by normalised path, validated by facts; the bytes are read through
// `read_path` when given (see FileSource).
PeFingerprint pe_fingerprint(std::string_view path, const FileFacts& facts, std::string_view read_path = {});
std::string read_import_name(std::span<const uint8_t> file, uint64_t offset);

}  // namespace ac
