// The per-file result cache shared by digests, fingerprints and signatures:
// keyed by normalised path, an entry answers while the file keeps its size and
// last-write time. Only facts that were found take part.
//
// Calls run with the interpreter lock released, so several threads may use
// one cache at once: a mutex guards the table, and it is never held while a
// file is read (two threads missing on one file both compute the same value
// and the second store overwrites the first with an equal one).
//
// Bounded, least recently used first out. One heavy scan of a busy desktop
// touches about 300 process images (a few hundred processes, many sharing an
// image) and the game's 150 to 400 modules: under 1,000 files in all. 2,048
// entries keep that working set, with room for a second game or launcher,
// without a single eviction in steady state, while a cheat that spawns
// processes from millions of paths can only churn the oldest entries. Paths
// are attacker-chosen and may reach 32,767 characters on Windows, so the key
// bytes have a budget of their own: 4 MiB is 2 KiB a key at full count, far
// above real paths, and caps the worst case near 4 MiB plus 2,048 values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/system.hpp"

namespace ac {

template <typename Value>
class FileResultCache {
public:
    static constexpr size_t kDefaultMaxEntries = 2048;
    static constexpr size_t kDefaultMaxKeyBytes = size_t{4} << 20;

    explicit FileResultCache(size_t max_entries = kDefaultMaxEntries, size_t max_key_bytes = kDefaultMaxKeyBytes)
        : max_entries_(max_entries ? max_entries : 1), max_key_bytes_(max_key_bytes) {}

    FileResultCache(const FileResultCache&) = delete;
    FileResultCache& operator=(const FileResultCache&) = delete;

    std::optional<Value> find(const std::string& key, const FileFacts& facts) const {
        if (!facts.found) return std::nullopt;
        std::lock_guard lock(mutex_);
        auto it = index_.find(std::string_view(key));
        if (it == index_.end()) return std::nullopt;
        const Node& node = *it->second;
        if (node.size != facts.size || node.lastWriteTime != facts.lastWriteTime) return std::nullopt;
        order_.splice(order_.begin(), order_, it->second);
        return node.value;
    }

    void store(const std::string& key, const FileFacts& facts, Value value) {
        if (!facts.found) return;
        std::lock_guard lock(mutex_);
        if (auto it = index_.find(std::string_view(key)); it != index_.end()) {
            Node& node = *it->second;
            node.size = facts.size;
            node.lastWriteTime = facts.lastWriteTime;
            node.value = std::move(value);
            order_.splice(order_.begin(), order_, it->second);
            return;
        }
        // A key larger than the whole budget would evict everything and
        // still not fit: such a path is simply not cached.
        if (key.size() > max_key_bytes_) return;
        order_.push_front(Node{key, facts.size, facts.lastWriteTime, std::move(value)});
        try {
            index_.emplace(std::string_view(order_.front().key), order_.begin());
        } catch (...) {
            order_.pop_front();
            throw;
        }
        key_bytes_ += key.size();
        while (order_.size() > max_entries_ || key_bytes_ > max_key_bytes_) evict_oldest();
    }

    size_t size() const {
        std::lock_guard lock(mutex_);
        return order_.size();
    }

    // Keys from the most to the least recently used.
    template <typename Visit>
    void for_each_key(Visit&& visit) const {
        std::lock_guard lock(mutex_);
        for (const Node& node : order_) visit(std::string_view(node.key));
    }

private:
    struct Node {
        std::string key;
        uint64_t size;
        uint64_t lastWriteTime;
        Value value;
    };

    void evict_oldest() {
        const Node& oldest = order_.back();
        key_bytes_ -= oldest.key.size();
        index_.erase(std::string_view(oldest.key));
        order_.pop_back();
    }

    const size_t max_entries_;
    const size_t max_key_bytes_;
    mutable std::mutex mutex_;
    mutable std::list<Node> order_;  // front = most recently used; find() reorders
    std::unordered_map<std::string_view, typename std::list<Node>::iterator> index_;
    size_t key_bytes_ = 0;
};

}  // namespace ac
