// MD5 digests, file facts and process image paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system.hpp"

namespace ac {

FileFacts get_file_facts(std::string_view path);
std::string buffer_md5(const void* bytes, size_t count);
// Digest of the whole file, cached by normalised path and validated by facts.
// The bytes are read through `read_path` when given (see FileSource).
std::string file_md5(std::string_view path, const FileFacts& facts, std::string_view read_path = {});
std::string process_image_path(uint32_t pid);

}  // namespace ac
