// The per-file cache's bound: least recently used out first, by count and by key bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "evidence/file_cache.hpp"

namespace ac {
namespace {

std::vector<std::string> keys_of(const FileResultCache<int>& cache) {  // most recent first
    std::vector<std::string> out;
    cache.for_each_key([&](std::string_view key) { out.emplace_back(key); });
    return out;
}

const FileFacts kFacts{true, 10, 20};

std::string key(std::string_view prefix, int i) {
    std::string out(prefix);
    out += std::to_string(i);
    return out;
}

TEST(FileResultCache, EvictsTheLeastRecentlyUsedAtTheEntryBound) {
    FileResultCache<int> cache(3);
    for (int i = 0; i < 3; ++i) cache.store(key("k", i), kFacts, i);
    EXPECT_EQ(cache.find("k0", kFacts), 0);  // a hit makes k0 the most recent
    cache.store("k1", kFacts, 11);           // so does an overwrite
    EXPECT_EQ(keys_of(cache), (std::vector<std::string>{"k1", "k0", "k2"}));

    cache.store("k3", kFacts, 3);  // k2 is the oldest
    EXPECT_EQ(keys_of(cache), (std::vector<std::string>{"k3", "k1", "k0"}));
    EXPECT_EQ(cache.find("k2", kFacts), std::nullopt);
    EXPECT_EQ(cache.find("k1", kFacts), 11);

    // A stale lookup neither answers nor counts as a use.
    EXPECT_EQ(cache.find("k0", FileFacts{true, 10, 21}), std::nullopt);
    EXPECT_EQ(cache.find("k0", FileFacts{}), std::nullopt);
    cache.store("k4", kFacts, 4);
    EXPECT_EQ(keys_of(cache), (std::vector<std::string>{"k4", "k1", "k3"}));

    // Millions of distinct paths churn the oldest entries and never grow the table.
    for (int i = 0; i < 100000; ++i) cache.store(key("/tmp/spawned/", i), kFacts, i);
    EXPECT_EQ(cache.size(), 3u);
    EXPECT_EQ(cache.find("/tmp/spawned/99999", kFacts), 99999);
}

TEST(FileResultCache, KeyBytesHaveTheirOwnBudget) {
    FileResultCache<int> cache(100, 10);
    cache.store("aaaa", kFacts, 1);
    cache.store("bbbb", kFacts, 2);
    cache.store("cccc", kFacts, 3);  // 12 bytes: the oldest goes
    EXPECT_EQ(keys_of(cache), (std::vector<std::string>{"cccc", "bbbb"}));
    cache.store("dddddddddd", kFacts, 4);  // exactly the budget: everything else goes
    EXPECT_EQ(keys_of(cache), (std::vector<std::string>{"dddddddddd"}));
    cache.store("eeeeeeeeeee", kFacts, 5);  // over the budget on its own: not cached, nothing lost
    EXPECT_EQ(keys_of(cache), (std::vector<std::string>{"dddddddddd"}));
    EXPECT_EQ(cache.find("eeeeeeeeeee", kFacts), std::nullopt);
}

TEST(FileResultCache, DefaultBoundsHoldABusyMachinesWorkingSet) {
    FileResultCache<std::string> cache;
    const std::string folder = "c:\\program files\\some vendor\\some product\\bin\\";
    for (int i = 0; i < 1000; ++i) cache.store(key(folder, i), kFacts, "x");
    EXPECT_EQ(cache.size(), 1000u);  // a whole heavy scan's files, nothing evicted
    for (int i = 1000; i < 5000; ++i) cache.store(key(folder, i), kFacts, "x");
    EXPECT_EQ(cache.size(), FileResultCache<std::string>::kDefaultMaxEntries);

    const std::string deep(32767, 'x');  // the longest Windows path, many times over
    for (int i = 0; i < 1000; ++i) cache.store(key(deep, i), kFacts, "x");
    size_t key_bytes = 0;
    cache.for_each_key([&](std::string_view k) { key_bytes += k.size(); });
    EXPECT_LE(key_bytes, FileResultCache<std::string>::kDefaultMaxKeyBytes);
    EXPECT_EQ(cache.find(key(deep, 999), kFacts), "x");
}

}  // namespace
}  // namespace ac
