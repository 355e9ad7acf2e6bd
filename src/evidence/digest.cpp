#include "evidence/digest.hpp"

#include <vector>

#include "evidence/file_cache.hpp"
#include "evidence/text.hpp"

namespace ac {
namespace {

constexpr size_t kFileChunk = 65536;

// Built when the module loads; lives until it unloads.
FileResultCache<std::string> g_digest_cache;

std::string finish_hex(Md5Hasher& hasher) {
    auto digest = hasher.finish();
    return digest ? hex_lower(digest->data(), digest->size()) : std::string();
}

}  // namespace

FileFacts get_file_facts(std::string_view path) { return sys().file_facts(path); }

std::string buffer_md5(const void* bytes, size_t count) {
    if (!bytes && count > 0) return {};
    auto hasher = sys().md5();
    if (!hasher) return {};
    if (count > 0 && !hasher->update(bytes, count)) return {};
    return finish_hex(*hasher);
}

std::string file_md5(std::string_view path, const FileFacts& facts, std::string_view read_path) {
    std::string key = normalize_path(path);
    if (auto cached = g_digest_cache.find(key, facts)) return *cached;

    auto file = sys().open_file(read_path.empty() ? path : read_path);
    if (!file) return {};
    auto hasher = sys().md5();
    if (!hasher) return {};

    // A read error is a failure, not a shorter file: a digest of the bytes
    // before the error would be reported (and cached) as the file's digest.
    std::vector<uint8_t> buffer(kFileChunk);
    for (;;) {
        auto got = file->read(buffer.data(), buffer.size());
        if (!got) return {};
        if (*got == 0) break;
        if (!hasher->update(buffer.data(), *got)) return {};
    }
    std::string result = finish_hex(*hasher);
    if (!result.empty()) g_digest_cache.store(key, facts, result);
    return result;
}

std::string process_image_path(uint32_t pid) {
    auto process = sys().open_process(pid, win::PROCESS_QUERY_LIMITED_INFORMATION);
    if (!process) return {};
    return process->image_path().value_or(std::string());
}

}  // namespace ac
