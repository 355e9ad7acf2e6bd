// MD5 digests, file facts and process image paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system.hpp"

namespace ac {

// The most bytes one scan digests for one file. Monolithic game executables
// and the largest browser-engine libraries a game or overlay loads reach about
// 250-400 MiB, cheat tools and their loaders stay below 50 MiB; at the 0.5-0.7
// GB/s an MD5 runs, 512 MiB keeps one file under a second. A hostile file of
// any size costs nothing above it.
inline constexpr uint64_t kFileDigestCap = uint64_t{512} << 20;

enum class DigestOutcome { hashed, failed, too_large };

struct FileDigest {
    DigestOutcome outcome = DigestOutcome::failed;
    std::string md5;  // empty unless hashed
};

FileFacts get_file_facts(std::string_view path);
std::string buffer_md5(const void* bytes, size_t count);
// Digest of the file as its facts describe it (the handle's size when they
// were not found): bytes appended meanwhile are left out, a file that shrank
// fails. Cached by normalised path and validated by facts; above
// kFileDigestCap the file is not read.
// The bytes are read through `read_path` when given (see FileSource).
FileDigest file_digest(std::string_view path, const FileFacts& facts, std::string_view read_path = {});
// The digest text alone; empty when not hashed for any reason.
std::string file_md5(std::string_view path, const FileFacts& facts, std::string_view read_path = {});
std::string process_image_path(uint32_t pid);

}  // namespace ac
