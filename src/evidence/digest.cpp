#include "evidence/digest.hpp"

#include <algorithm>
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

FileDigest file_digest(std::string_view path, const FileFacts& facts, std::string_view read_path) {
    const FileDigest failed;
    const FileDigest too_large{DigestOutcome::too_large, {}};
    std::string key = normalize_path(path);
    if (auto cached = g_digest_cache.find(key, facts)) return {DigestOutcome::hashed, *cached};
    if (facts.found && facts.size > kFileDigestCap) return too_large;

    auto file = sys().open_file(read_path.empty() ? path : read_path);
    if (!file) return failed;
    // The length is fixed before the first read, so a file that keeps growing
    // (or a device that never ends) cannot hold the scan.
    uint64_t length = 0;
    // A file whose handle no longer shows the size of its facts changed after
    // they were read (it grew, or another file took its name): its digest
    // answers this call but is not remembered for those facts.
    bool settled = false;
    if (facts.found) {
        length = facts.size;
        settled = file->size() == std::optional<uint64_t>(facts.size);
    } else if (auto size = file->size()) {
        length = *size;
    } else {
        return failed;
    }
    if (length > kFileDigestCap) return too_large;
    auto hasher = sys().md5();
    if (!hasher) return failed;

    // A read error or an early end is a failure, not a shorter file: a digest
    // of part of the file would be reported (and cached) as the file's digest.
    std::vector<uint8_t> buffer(kFileChunk);
    // Something that reports no size (a directory, a device) must still read.
    if (length == 0 && !file->read(buffer.data(), 1)) return failed;
    for (uint64_t done = 0; done < length;) {
        auto got = file->read(buffer.data(), static_cast<size_t>(std::min<uint64_t>(kFileChunk, length - done)));
        if (!got || *got == 0) return failed;
        if (!hasher->update(buffer.data(), *got)) return failed;
        done += *got;
    }
    std::string result = finish_hex(*hasher);
    if (result.empty()) return failed;
    if (settled) g_digest_cache.store(key, facts, result);
    return {DigestOutcome::hashed, std::move(result)};
}

std::string file_md5(std::string_view path, const FileFacts& facts, std::string_view read_path) {
    return file_digest(path, facts, read_path).md5;
}

std::string process_image_path(uint32_t pid) {
    auto process = sys().open_process(pid, win::PROCESS_QUERY_LIMITED_INFORMATION);
    if (!process) return {};
    return process->image_path().value_or(std::string());
}

}  // namespace ac
