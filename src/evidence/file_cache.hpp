// The per-file result cache shared by digests, fingerprints and signatures:
// keyed by normalised path, an entry answers while the file keeps its size and
// last-write time. Only facts that were found take part. No lock: every caller
// holds the interpreter lock.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "platform/system.hpp"

namespace ac {

template <typename Value>
class FileResultCache {
public:
    std::optional<Value> find(const std::string& key, const FileFacts& facts) const {
        if (!facts.found) return std::nullopt;
        auto it = entries_.find(key);
        if (it == entries_.end() || it->second.size != facts.size ||
            it->second.lastWriteTime != facts.lastWriteTime)
            return std::nullopt;
        return it->second.value;
    }

    void store(const std::string& key, const FileFacts& facts, Value value) {
        if (!facts.found) return;
        entries_.insert_or_assign(key, Entry{facts.size, facts.lastWriteTime, std::move(value)});
    }

    size_t size() const { return entries_.size(); }

private:
    struct Entry {
        uint64_t size;
        uint64_t lastWriteTime;
        Value value;
    };
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace ac
