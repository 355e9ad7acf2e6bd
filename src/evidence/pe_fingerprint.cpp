#include "evidence/pe_fingerprint.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

#include "evidence/digest.hpp"
#include "evidence/file_cache.hpp"
#include "evidence/text.hpp"
#include "reports/fields.hpp"

namespace ac {
namespace {

// Bounds on the work a hostile file can ask for.
constexpr size_t kMaxSectionName = 8;
constexpr uint32_t kMaxImportDescriptors = 128;
constexpr uint32_t kMaxLookupEntries = 512;
constexpr uint64_t kMaxImportName = 256;
constexpr uint64_t kMaxMappedOffset = uint64_t{1} << 31;

constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kSectionExecutable = 0x20000000;
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint64_t kDescriptorSize = 20;

FileResultCache<PeFingerprint> g_fingerprint_cache;

// Random access to the first `length` bytes of a file without holding it:
// small reads go through a few cached pages, section data streams through the
// digest in chunks. Every offset is a uint64 so that sums of 32-bit fields
// never wrap; each read is checked against the length first. A read that
// fails or ends early (the file shrank) marks the source failed: the answer is
// then "open_error", never a reading of a different file.
class Source {
public:
    Source(FileReader& reader, uint64_t length) : reader_(reader), length_(length) {}
    uint64_t size() const { return length_; }
    bool failed() const { return failed_; }
    bool holds(uint64_t offset, uint64_t count) const { return offset <= length_ && count <= length_ - offset; }

    // [offset, offset + count) must lie inside the file; zeros once failed.
    void copy(uint64_t offset, uint8_t* out, size_t count) {
        while (count) {
            const uint8_t* page = fetch(offset / kPageSize);
            const auto within = static_cast<size_t>(offset % kPageSize);
            const size_t n = std::min(count, kPageSize - within);
            if (page) std::memcpy(out, page + within, n);
            else std::memset(out, 0, n);
            out += n, offset += n, count -= n;
        }
    }
    uint64_t le(uint64_t offset, unsigned width) {
        if (!holds(offset, width)) return 0;
        uint8_t bytes[8];
        copy(offset, bytes, width);
        uint64_t value = 0;
        for (unsigned i = width; i-- > 0;) value = (value << 8) | bytes[i];
        return value;
    }
    uint8_t u8(uint64_t offset) { return static_cast<uint8_t>(le(offset, 1)); }
    uint16_t u16(uint64_t offset) { return static_cast<uint16_t>(le(offset, 2)); }
    uint32_t u32(uint64_t offset) { return static_cast<uint32_t>(le(offset, 4)); }

    // MD5 text of [offset, offset + count), inside the file; empty on failure.
    std::string digest(uint64_t offset, uint64_t count) {
        auto hasher = sys().md5();
        if (!hasher || failed_) return {};
        if (!reader_.seek(offset)) return fail(), std::string();
        chunk_.resize(kChunk);
        while (count) {
            auto got = reader_.read(chunk_.data(), static_cast<size_t>(std::min<uint64_t>(count, kChunk)));
            if (!got || *got == 0) return fail(), std::string();
            if (!hasher->update(chunk_.data(), *got)) return {};
            count -= *got;
        }
        auto value = hasher->finish();
        return value ? hex_lower(value->data(), value->size()) : std::string();
    }

private:
    // Small pages, so that names scattered over a hostile file cost a few
    // kilobytes each, not a large read each.
    static constexpr size_t kPageSize = 4096;
    static constexpr size_t kPages = 256;
    static constexpr size_t kChunk = 65536;

    struct Page {
        uint64_t index = 0;
        uint64_t used = 0;
    };

    void fail() { failed_ = true; }

    bool fill(uint64_t offset, uint8_t* out, size_t count) {
        if (!reader_.seek(offset)) return false;
        while (count) {
            auto got = reader_.read(out, count);
            if (!got || *got == 0) return false;
            out += *got, count -= *got;
        }
        return true;
    }

    const uint8_t* fetch(uint64_t index) {
        if (failed_) return nullptr;
        if (auto it = slots_.find(index); it != slots_.end()) {
            pages_[it->second].used = ++clock_;
            return storage_.data() + it->second * kPageSize;
        }
        size_t slot;
        if (pages_.size() < kPages) {
            slot = pages_.size();
            pages_.emplace_back();
            storage_.resize(pages_.size() * kPageSize);
        } else {
            slot = static_cast<size_t>(std::min_element(pages_.begin(), pages_.end(),
                                                        [](const Page& a, const Page& b) { return a.used < b.used; }) -
                                       pages_.begin());
            slots_.erase(pages_[slot].index);
        }
        uint8_t* bytes = storage_.data() + slot * kPageSize;
        const uint64_t start = index * kPageSize;
        const auto count = static_cast<size_t>(std::min<uint64_t>(kPageSize, length_ - start));
        if (!fill(start, bytes, count)) {
            pages_[slot] = Page{~uint64_t{0}, 0};
            return fail(), nullptr;
        }
        pages_[slot] = Page{index, ++clock_};
        slots_.emplace(index, slot);
        return bytes;
    }

    FileReader& reader_;
    const uint64_t length_;
    bool failed_ = false;
    uint64_t clock_ = 0;
    std::vector<Page> pages_;
    std::vector<uint8_t> storage_;  // page i at i * kPageSize
    std::unordered_map<uint64_t, size_t> slots_;
    std::vector<uint8_t> chunk_;
};

// A byte span behind the file interface, so bytes in memory take the same road.
class SpanReader final : public FileReader {
public:
    explicit SpanReader(std::span<const uint8_t> data) : data_(data) {}
    std::optional<size_t> read(void* buffer, size_t size) override {
        const size_t n = position_ < data_.size() ? std::min(size, data_.size() - static_cast<size_t>(position_)) : 0;
        if (n) std::memcpy(buffer, data_.data() + position_, n);
        position_ += n;
        return n;
    }
    std::optional<uint64_t> size() override { return data_.size(); }
    bool seek(uint64_t offset) override { return position_ = offset, true; }

private:
    std::span<const uint8_t> data_;
    uint64_t position_ = 0;
};

// Bytes 0x20-0x7E, lower-cased, up to the first NUL; others are skipped.
std::string import_name_text(const uint8_t* bytes, size_t count) {
    std::string name;
    for (size_t i = 0; i < count; ++i) {
        uint8_t c = bytes[i];
        if (c == 0) break;
        if (c < 0x20 || c > 0x7E) continue;  // skipped; the name goes on after it
        if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
        name += static_cast<char>(c);
    }
    return name;
}

std::string import_name(Source& file, uint64_t offset) {
    if (offset >= file.size()) return {};
    uint8_t bytes[kMaxImportName];
    const auto count = static_cast<size_t>(std::min<uint64_t>(kMaxImportName, file.size() - offset));
    file.copy(offset, bytes, count);
    return import_name_text(bytes, count);
}

struct SectionRecord {
    std::string name;
    uint32_t virtual_address = 0;
    uint32_t span = 0;
    uint32_t virtual_size = 0;
    uint32_t raw_size = 0;
    uint32_t raw_pointer = 0;
    uint32_t characteristics = 0;
    bool has_raw_data = false;  // the raw data lies inside the file, so it has a digest
};

PeFingerprint stop(PeFingerprint& fp, std::string_view status) {
    fp.status = std::string(status);
    return fp;
}

std::string section_name(const uint8_t* header) {
    std::string name;
    for (size_t i = 0; i < kMaxSectionName; ++i) {
        uint8_t c = header[i];
        if (c == 0) break;
        name += static_cast<char>(c);
    }
    return name;
}

std::string layout_item(const SectionRecord& s) {
    char characteristics[9];
    std::snprintf(characteristics, sizeof characteristics, "%08x", static_cast<unsigned>(s.characteristics));
    return s.name + ':' + std::to_string(s.virtual_size) + ':' + std::to_string(s.raw_size) + ':' +
           characteristics;
}

// RVA to file offset: the first section in table order, among those with raw
// data and a span, whose range [VirtualAddress, VirtualAddress + span) holds
// the RVA (the end is a 32-bit sum, so a range that wraps past 4 GiB holds
// nothing) and whose resulting offset lies inside the file.
//
// Each section therefore claims the RVA interval [va, min(end, va + (file
// size - pointer))). A lookup walking the table costs O(sections), and the
// import pass makes up to 128 x 514 lookups: with 65535 sections that is
// seconds per file. The map resolves the intervals once into disjoint
// segments owned by the lowest section index and answers by binary search.
class RvaMap {
public:
    RvaMap(const std::vector<SectionRecord>& sections, uint64_t file_size) {
        struct Interval {
            uint64_t lo, hi;
            uint32_t index;
        };
        std::vector<Interval> intervals;
        for (uint32_t i = 0; i < sections.size(); ++i) {
            const SectionRecord& s = sections[i];
            if (s.raw_pointer == 0 || s.span == 0 || s.raw_pointer >= file_size) continue;
            uint32_t end = s.virtual_address + s.span;
            uint64_t hi = std::min<uint64_t>(end, uint64_t{s.virtual_address} + (file_size - s.raw_pointer));
            if (s.virtual_address < hi) intervals.push_back({s.virtual_address, hi, i});
        }
        if (intervals.empty()) return;

        std::vector<uint64_t> points;
        points.reserve(intervals.size() * 2);
        for (const auto& iv : intervals) {
            points.push_back(iv.lo);
            points.push_back(iv.hi);
        }
        std::sort(points.begin(), points.end());
        points.erase(std::unique(points.begin(), points.end()), points.end());

        // Sweep the breakpoints; the open intervals sit in a min-heap of
        // section indices, closed ones are dropped when they reach the top.
        std::sort(intervals.begin(), intervals.end(), [](const Interval& a, const Interval& b) { return a.lo < b.lo; });
        std::vector<uint32_t> heap;
        auto heap_order = [](uint32_t a, uint32_t b) { return a > b; };
        size_t next = 0;
        for (size_t k = 0; k + 1 < points.size(); ++k) {
            while (next < intervals.size() && intervals[next].lo == points[k]) {
                heap.push_back(intervals[next++].index);
                std::push_heap(heap.begin(), heap.end(), heap_order);
            }
            while (!heap.empty()) {
                const SectionRecord& top = sections[heap.front()];
                uint64_t top_hi = std::min<uint64_t>(uint32_t(top.virtual_address + top.span),
                                                     uint64_t{top.virtual_address} + (file_size - top.raw_pointer));
                if (top_hi > points[k]) break;
                std::pop_heap(heap.begin(), heap.end(), heap_order);
                heap.pop_back();
            }
            if (heap.empty()) continue;
            const SectionRecord& owner = sections[heap.front()];
            if (!segments_.empty() && segments_.back().end == points[k] &&
                segments_.back().virtual_address == owner.virtual_address &&
                segments_.back().raw_pointer == owner.raw_pointer) {
                segments_.back().end = points[k + 1];  // same owner continues
                continue;
            }
            segments_.push_back({points[k], points[k + 1], owner.virtual_address, owner.raw_pointer});
        }
    }

    std::optional<uint64_t> offset(uint32_t rva) const {
        auto it = std::upper_bound(segments_.begin(), segments_.end(), uint64_t{rva},
                                   [](uint64_t r, const Segment& s) { return r < s.start; });
        if (it == segments_.begin()) return std::nullopt;
        --it;
        if (rva >= it->end) return std::nullopt;
        uint64_t offset = uint64_t{it->raw_pointer} + (rva - it->virtual_address);
        if (offset >= kMaxMappedOffset) return std::nullopt;
        return offset;
    }

private:
    struct Segment {
        uint64_t start, end;  // [start, end) of RVAs
        uint32_t virtual_address, raw_pointer;
    };
    std::vector<Segment> segments_;
};

std::string import_entry(Source& file, const RvaMap& map, uint64_t descriptor, bool pe32_plus) {
    uint32_t original_first_thunk = file.u32(descriptor + 0);
    uint32_t name_rva = file.u32(descriptor + 12);
    uint32_t first_thunk = file.u32(descriptor + 16);

    std::string dll;
    if (auto at = map.offset(name_rva)) dll = import_name(file, *at);

    std::vector<std::string> names;
    uint32_t lookup_rva = original_first_thunk ? original_first_thunk : first_thunk;
    std::optional<uint64_t> lookup = lookup_rva ? map.offset(lookup_rva) : std::nullopt;
    if (lookup) {
        const unsigned width = pe32_plus ? 8 : 4;
        const uint64_t ordinal_flag = pe32_plus ? uint64_t{1} << 63 : uint64_t{1} << 31;
        for (uint32_t i = 0; i < kMaxLookupEntries; ++i) {
            uint64_t at = *lookup + uint64_t{i} * width;
            if (!file.holds(at, width)) break;
            uint64_t entry = file.le(at, width);
            if (entry == 0) break;
            if (entry & ordinal_flag) {
                names.push_back('#' + std::to_string(entry & 0xFFFF));
                continue;
            }
            auto hint_name = map.offset(static_cast<uint32_t>(entry));
            if (hint_name && *hint_name + 2 < file.size())
                names.push_back(import_name(file, *hint_name + 2));
        }
    }
    std::sort(names.begin(), names.end());

    std::string entry = dll + ':';
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) entry += '|';
        entry += names[i];
    }
    return entry;
}

std::string imports_digest(Source& file, const std::vector<SectionRecord>& sections, uint64_t optional_header,
                           bool pe32_plus) {
    uint64_t directory = optional_header + (pe32_plus ? 120 : 104);
    if (!file.holds(directory, 8)) return {};
    uint32_t directory_rva = file.u32(directory);
    if (directory_rva == 0) return {};
    const RvaMap map(sections, file.size());
    auto first = map.offset(directory_rva);
    if (!first) return {};

    std::vector<std::string> entries;
    for (uint32_t i = 0; i < kMaxImportDescriptors; ++i) {
        uint64_t d = *first + uint64_t{i} * kDescriptorSize;
        if (!file.holds(d, kDescriptorSize)) break;
        if (file.u32(d + 0) == 0 && file.u32(d + 12) == 0 && file.u32(d + 16) == 0) break;
        entries.push_back(import_entry(file, map, d, pe32_plus));
    }
    // No descriptors is "no imports", not the digest of an empty text.
    if (entries.empty()) return {};
    std::sort(entries.begin(), entries.end());
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i) text += ';';
        text += entries[i];
    }
    return buffer_md5(text.data(), text.size());
}

}  // namespace

PeFingerprint empty_pe_fingerprint() {
    PeFingerprint fp;
    fp.status = std::string(word::pe_not_parsed);
    return fp;
}

std::string read_import_name(std::span<const uint8_t> file, uint64_t offset) {
    if (offset >= file.size()) return {};
    const auto count = static_cast<size_t>(std::min<uint64_t>(kMaxImportName, file.size() - offset));
    return import_name_text(file.data() + offset, count);
}

namespace {

PeFingerprint parse_source(Source& file) {
    PeFingerprint fp = empty_pe_fingerprint();
    fp.fileSize = file.size();

    // Only the headers are read before the file is known to be a PE file.
    if (file.size() < 64 || file.u8(0) != 'M' || file.u8(1) != 'Z') return stop(fp, word::pe_not_pe);

    const uint64_t p = file.u32(60);
    if (!file.holds(p, 24) || file.u32(p) != 0x00004550) return stop(fp, word::pe_bad_pe_header);

    fp.machine = file.u16(p + 4);
    fp.sectionCount = file.u16(p + 6);

    const uint64_t o = p + 24;
    const uint64_t t = o + file.u16(p + 20);
    if (t > file.size()) return stop(fp, word::pe_bad_optional_header);

    if (!file.holds(o, 2)) return stop(fp, word::pe_unsupported_optional_header);
    const uint16_t magic = file.u16(o);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) return stop(fp, word::pe_unsupported_optional_header);
    const bool pe32_plus = magic == kMagicPe32Plus;

    if (!file.holds(o, 20)) return stop(fp, word::pe_bad_section_table);
    fp.entryPoint = file.u32(o + 16);

    if (!file.holds(t, kSectionHeaderSize * fp.sectionCount)) return stop(fp, word::pe_bad_section_table);

    // At most 65535 x 40 bytes.
    std::vector<uint8_t> table(static_cast<size_t>(kSectionHeaderSize * fp.sectionCount));
    file.copy(t, table.data(), table.size());
    std::vector<SectionRecord> sections;
    sections.reserve(fp.sectionCount);
    for (uint32_t i = 0; i < fp.sectionCount; ++i) {
        const uint8_t* h = table.data() + kSectionHeaderSize * i;
        auto field = [h](size_t at) {
            return static_cast<uint32_t>(h[at] | h[at + 1] << 8 | h[at + 2] << 16 | uint32_t{h[at + 3]} << 24);
        };
        SectionRecord s;
        s.name = section_name(h);
        s.virtual_size = field(8);
        s.virtual_address = field(12);
        s.raw_size = field(16);
        s.raw_pointer = field(20);
        s.characteristics = field(36);
        s.span = std::max(s.virtual_size, s.raw_size);
        s.has_raw_data = s.raw_pointer != 0 && s.raw_size != 0 && file.holds(s.raw_pointer, s.raw_size);
        if (i) fp.sectionLayout += ';';
        fp.sectionLayout += layout_item(s);
        sections.push_back(std::move(s));
    }

    // Only the sections that end up in the fingerprint are hashed: a hostile
    // table of 65535 sections each spanning the whole file would otherwise
    // cost one full-file digest per section. The choice is the same as
    // digesting every section: the last ".text" and ".data" with a digest win,
    // then the first executable section with one. Their bytes together stay
    // under the per-file digest cap, or nothing is digested.
    uint64_t budget = kFileDigestCap;
    bool too_large = false;
    auto digest_of = [&](const SectionRecord& s) {
        if (!s.has_raw_data) return std::string();
        if (s.raw_size > budget) return too_large = true, std::string();
        budget -= s.raw_size;
        return file.digest(s.raw_pointer, s.raw_size);
    };
    bool code_found = false, data_found = false;
    for (size_t i = sections.size(); i-- > 0 && !(code_found && data_found) && !too_large;) {
        const SectionRecord& s = sections[i];
        if (!s.has_raw_data) continue;
        std::string lowered = to_lower(s.name);
        if (!code_found && lowered == ".text") {
            fp.codeMd5 = digest_of(s);
            code_found = !fp.codeMd5.empty();
            if (code_found) fp.codeSectionName = s.name;
        } else if (!data_found && lowered == ".data") {
            fp.dataMd5 = digest_of(s);
            data_found = !fp.dataMd5.empty();
        }
    }
    for (size_t i = 0; i < sections.size() && !code_found && !too_large; ++i) {
        const SectionRecord& s = sections[i];
        if (!s.has_raw_data || !(s.characteristics & kSectionExecutable)) continue;
        fp.codeMd5 = digest_of(s);
        code_found = !fp.codeMd5.empty();
        if (code_found) fp.codeSectionName = s.name;
    }
    if (too_large) {
        fp.codeSectionName.clear(), fp.codeMd5.clear(), fp.dataMd5.clear();
        return stop(fp, word::pe_too_large);
    }

    fp.importMd5 = imports_digest(file, sections, o, pe32_plus);
    fp.status = std::string(word::pe_parsed);
    fp.parsed = true;
    return fp;
}

}  // namespace

PeFingerprint parse_pe_fingerprint(FileReader& reader, uint64_t length) {
    Source file(reader, length);
    PeFingerprint fp = parse_source(file);
    if (!file.failed()) return fp;
    // A read that failed or ended early: what was read is not this file.
    fp = empty_pe_fingerprint();
    fp.fileSize = length;
    return stop(fp, word::pe_open_error);
}

PeFingerprint parse_pe_fingerprint(std::span<const uint8_t> data) {
    SpanReader reader(data);
    return parse_pe_fingerprint(reader, data.size());
}

PeFingerprint read_pe_fingerprint(std::string_view path, const FileFacts& facts) {
    PeFingerprint fp = empty_pe_fingerprint();
    fp.fileSize = facts.found ? facts.size : 0;

    auto file = sys().open_file(path);
    if (!file) return stop(fp, word::pe_open_error);
    // The length is fixed at the start: bytes appended meanwhile are not read.
    auto length = file->size();
    if (!length) return stop(fp, word::pe_open_error);
    PeFingerprint read = parse_pe_fingerprint(*file, *length);
    return read.status == word::pe_open_error ? stop(fp, word::pe_open_error) : read;
}

PeFingerprint pe_fingerprint(std::string_view path, const FileFacts& facts, std::string_view read_path) {
    std::string key = normalize_path(path);
    if (auto cached = g_fingerprint_cache.find(key, facts)) return *cached;
    PeFingerprint fp = read_pe_fingerprint(read_path.empty() ? path : read_path, facts);
    // A file that could not be opened or read is tried again next time.
    if (fp.status != word::pe_open_error) g_fingerprint_cache.store(key, facts, fp);
    return fp;
}

}  // namespace ac
