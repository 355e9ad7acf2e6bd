// libFuzzer target: the module's other readers of bytes an attacker writes
// (text repair, the JSON form, /proc lines, PE headers in memory and on disk,
// version resource bounds). Byte 0 picks one (see parsers_input.hpp). A
// crash, a sanitizer report or a broken property aborts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checks/manual_map_check.hpp"
#include "checks/region_walk.hpp"
#include "evidence/text.hpp"
#include "evidence/version_text.hpp"
#include "parsers_input.hpp"
#include "platform/system.hpp"
#include "reports/module_report.hpp"
#include "reports/record.hpp"
#include "reports/write_handle_report.hpp"
#include "strict_text.hpp"
#include "unit/fake_system.hpp"
#if defined(__linux__)
#include "platform/linux/address_space.hpp"
#include "platform/linux/procfs.hpp"
#endif

namespace ac::fuzz {
namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// What every value the module hands back must be.
void require_returnable(std::string_view value) {
    require(shaped_utf8(value));
    require(rfc3629_utf8(value));
}

// ------------------------------------------------------------ text and JSON

void fuzz_utf8_repair(ByteReader in) {
    const std::string original(in.rest());
    ReportRecord record{{"value", original}, {"empty", ""}};
    repair_utf8_values(record);
    const std::string& out = record.at("value");
    require(record.size() == 2 && record.at("empty").empty());
    require_returnable(out);
    // Valid text stays as it is; anything else grows at most threefold
    // (one code-page byte becomes at most three UTF-8 bytes).
    if (rfc3629_utf8(original)) require(out == original);
    require(out.size() <= 3 * original.size());
    // The ASCII bytes keep their places when no conversion changed the length.
    if (out.size() == original.size())
        for (size_t i = 0; i < out.size(); ++i)
            if (static_cast<uint8_t>(original[i]) < 0x80) require(out[i] == original[i]);
}

// Records: u8 count (at most 8), then per record u8 pair count (at most 8),
// then per pair u8 key length, key, u16 value length, value.
std::vector<ReportRecord> read_records(ByteReader& in) {
    std::vector<ReportRecord> records(in.u8() % 9);
    for (auto& record : records) {
        const int pairs = in.u8() % 9;
        for (int i = 0; i < pairs; ++i) {
            std::string key(in.bytes(in.u8()));
            std::string value(in.bytes(in.u16()));
            record.insert_or_assign(std::move(key), std::move(value));
        }
    }
    return records;
}

void require_json_of(const std::vector<ReportRecord>& records, bool repaired) {
    const std::string json = records_to_json(records);
    JsonRecords back;
    require(JsonReader(json).read(&back));
    require(back.size() == records.size());
    for (size_t r = 0; r < records.size(); ++r) {
        require(back[r].size() == records[r].size());
        size_t i = 0;
        for (const auto& [key, value] : records[r]) {
            require(back[r][i].first == key && back[r][i].second == value);
            ++i;
        }
    }
    if (repaired) require_returnable(json);
}

void fuzz_json_writer(ByteReader in) {
    std::vector<ReportRecord> records = read_records(in);
    require_json_of(records, false);
    // The module repairs values before they leave it; keys come from the
    // field table and are always ASCII.
    std::vector<ReportRecord> clean;
    for (const auto& record : records) {
        ReportRecord fixed;
        size_t n = 0;
        for (const auto& [key, value] : record) fixed.emplace("k" + std::to_string(n++), value);
        repair_utf8_values(fixed);
        clean.push_back(std::move(fixed));
    }
    require_json_of(clean, true);
    require(json_escape(std::string_view()).empty());
}

// ------------------------------------------------------------ /proc lines

#if defined(__linux__)
bool inside(std::string_view part, std::string_view whole) {
    return std::less_equal<const char*>()(whole.data(), part.data()) &&
           std::less_equal<const char*>()(part.data() + part.size(), whole.data() + whole.size());
}

void fuzz_proc_stat(ByteReader in) {
    const std::string_view text = in.rest();
    auto stat = lx::parse_stat(text);
    if (!stat) return;
    // comm is everything between the first '(' and the last ')'.
    const size_t open = text.find('('), close = text.rfind(')');
    require(open != std::string_view::npos && close != std::string_view::npos && open < close);
    require(stat->comm == text.substr(open + 1, close - open - 1));
    require(stat->state != ' ' && stat->state != '\t' && stat->state != '\n');
}

void fuzz_proc_maps(ByteReader in) {
    const std::string_view text = in.rest();
    const auto lines = lx::parse_maps(text);
    require(lines.size() <= static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    for (const auto& m : lines) {
        require(m.start < m.end);
        // A newline in a path can only come from the escape the kernel prints for one.
        if (text.find("\\012") == std::string_view::npos) require(m.path.find('\n') == std::string::npos);
        require(m.device.find('\n') == std::string::npos);
        require(m.device.find_first_of(" \t") == std::string::npos);
        const auto backing = m.backing();
        if (m.inode == 0) require(backing == lx::MapsLine::Backing::anonymous);
        if (backing == lx::MapsLine::Backing::file) require(!m.path.empty() && m.path[0] == '/');
    }

    // The regions and modules built from the lines. The kernel prints
    // mappings ascending and apart; only then must every answer hold the
    // address asked for, but any lines must give a walk that ends.
    bool ordered = true;
    for (size_t i = 1; i < lines.size(); ++i) ordered = ordered && lines[i - 1].end <= lines[i].start;
    const lx::AddressSpace space(lines);
    size_t steps = 0;
    for (uint64_t address = 0;; ++steps) {
        require(steps <= 4 * lines.size() + 8);
        auto region = space.query(address);
        if (!region) break;
        require(region->size > 0);
        if (ordered) require(address >= region->base && address - region->base < region->size);
        const uint64_t next = region->base + region->size;
        if (next <= address) break;
        address = next;
    }
    const auto modules = lx::image_modules(lines, lines.empty() ? std::string_view() : lines[0].path);
    require(modules.size() <= lines.size());
    for (const auto& module : modules) require(!module.path.empty());
}

void fuzz_proc_field(ByteReader in) {
    const std::string_view key = in.bytes(in.u8() % 32);
    const std::string_view text = in.rest();
    for (std::string_view k : {key, std::string_view("TracerPid:"), std::string_view("flags:"),
                               std::string_view("Pid:"), std::string_view("btime")}) {
        if (auto value = lx::field_value(text, k)) {
            require(inside(*value, text));
            require(value->find('\n') == std::string_view::npos);
            require(value->empty() || (value->front() != ' ' && value->front() != '\t'));
            // The value follows the key at the start of a line.
            const size_t at = static_cast<size_t>(value->data() - text.data());
            require(at >= k.size());
            const size_t line = text.rfind('\n', at == 0 ? 0 : at - 1);
            const size_t begin = line == std::string_view::npos || line >= at ? 0 : line + 1;
            require(text.substr(begin, k.size()) == k);
        }
        for (int base : {8, 10, 16}) (void)lx::field_number(text, k, base);
    }
}

void fuzz_proc_syscall(ByteReader in) {
    const std::string_view text = in.rest();
    if (lx::syscall_instruction_pointer(text)) require(text.find("0x") != std::string_view::npos);
}
#else
void fuzz_proc_stat(ByteReader) {}
void fuzz_proc_maps(ByteReader) {}
void fuzz_proc_field(ByteReader) {}
void fuzz_proc_syscall(ByteReader) {}
#endif

// ------------------------------------------------------------ memory

// A target process whose memory and region answers come from the input.
// Memory is one block at `base`; query_region answers from the region list,
// which may overlap or lie, and reads outside the block fail.
class ModelProcess final : public ProcessHandle {
public:
    ModelProcess(ByteReader& in, bool with_regions) {
        mode_ = static_cast<ReadMode>(in.u8() % static_cast<uint8_t>(ReadMode::count));
        cap_ = 1 + in.u8();
        const bool top = in.u8() & 1;
        std::vector<uint8_t> raw_regions;
        if (with_regions) {
            const size_t count = in.u8() % 17;
            auto bytes = in.bytes(count * kRegionRecordBytes);
            raw_regions.assign(bytes.begin(), bytes.end());
        }
        auto rest = in.rest();
        memory_.assign(rest.begin(), rest.end());
        // At the top the block ends at the last address, so base + size wraps.
        base_ = top ? 0 - static_cast<uint64_t>((memory_.size() + 0xFFF) & ~size_t{0xFFF}) : kMemoryBase;
        if (top && memory_.empty()) base_ = 0 - uint64_t{0x1000};

        static constexpr uint32_t kStates[] = {win::MEM_COMMIT, win::MEM_RESERVE, win::MEM_FREE};
        static constexpr uint32_t kTypes[] = {win::MEM_PRIVATE, win::MEM_IMAGE, win::MEM_MAPPED};
        static constexpr uint32_t kProtections[] = {win::PAGE_EXECUTE_READ, win::PAGE_EXECUTE_READWRITE,
                                                    win::PAGE_EXECUTE,      win::PAGE_EXECUTE_WRITECOPY,
                                                    win::PAGE_READWRITE,    win::PAGE_READONLY,
                                                    win::PAGE_NOACCESS,     win::PAGE_WRITECOPY};
        for (size_t i = 0; i + kRegionRecordBytes <= raw_regions.size(); i += kRegionRecordBytes) {
            const uint8_t* r = raw_regions.data() + i;
            MemoryRegion region;
            region.base = base_ + 32 * uint64_t{static_cast<uint16_t>(r[0] | r[1] << 8)};
            region.size = 32 * uint64_t{static_cast<uint16_t>(r[2] | r[3] << 8)};
            switch (r[4] % 5) {
                case 0: region.allocation_base = 0; break;
                case 1: region.allocation_base = region.base; break;
                case 2: region.allocation_base = base_; break;
                case 3: region.allocation_base = regions_.empty() ? 0 : regions_.back().base; break;
                default: region.allocation_base = region.base - 32 * uint64_t{r[4]}; break;
            }
            region.state = kStates[r[5] % 3];
            region.protect = kProtections[r[6] % 8] | (r[6] & 0x08 ? win::PAGE_GUARD : 0) |
                             (r[6] & 0x10 ? win::PAGE_NOCACHE : 0) | (r[6] & 0x20 ? win::PAGE_WRITECOMBINE : 0);
            region.type = kTypes[r[7] % 3];
            regions_.push_back(region);
        }
    }

    uint64_t base() const { return base_; }
    const std::vector<uint8_t>& memory() const { return memory_; }
    ReadMode mode() const { return mode_; }
    size_t cap() const { return cap_; }

    // Every read so far lay inside a region this handle reported.
    bool reads_stayed_in_answers() const { return reads_in_answers_; }
    size_t queries() const { return queries_; }

    uint64_t value() const override { return 0x44; }
    std::optional<uint32_t> exit_code() override { return win::STILL_ACTIVE; }
    std::optional<std::string> image_path() override { return std::nullopt; }

    std::optional<MemoryRegion> query_region(uint64_t address) override {
        ++queries_;
        for (const auto& r : regions_)
            if (address >= r.base && address - r.base < r.size) return answer(r);
        if (address < base_) return answer({.base = address, .size = base_ - address, .state = win::MEM_FREE});
        return std::nullopt;
    }

    ReadResult read_memory(uint64_t address, void* buffer, size_t size) override {
        if (!within_answers(address, size)) reads_in_answers_ = false;
        if (address - base_ >= memory_.size() || address < base_) return {};
        const size_t offset = static_cast<size_t>(address - base_);
        size_t n = std::min(size, memory_.size() - offset);
        if (mode_ == ReadMode::capped) n = std::min(n, cap_);
        std::memcpy(buffer, memory_.data() + offset, n);
        return {mode_ == ReadMode::honest ? n == size : true, n};
    }

private:
    MemoryRegion answer(const MemoryRegion& r) {
        answered_.push_back(r);
        return r;
    }
    bool within_answers(uint64_t address, size_t size) const {
        for (const auto& r : answered_)
            if (address >= r.base && address - r.base <= r.size && size <= r.size - (address - r.base)) return true;
        return false;
    }

    ReadMode mode_ = ReadMode::honest;
    size_t cap_ = 1;
    uint64_t base_ = kMemoryBase;
    std::vector<uint8_t> memory_;
    std::vector<MemoryRegion> regions_;
    std::vector<MemoryRegion> answered_;
    bool reads_in_answers_ = true;
    size_t queries_ = 0;
};

void fuzz_manual_map(ByteReader in) {
    ModelProcess process(in, true);
    const ManualMapVerdict verdict = run_manual_map_check(process);
    // Each PE test reads only inside the region it tests, and the walk ends.
    require(process.reads_stayed_in_answers());
    require(process.queries() <= 2 * 17 + 2);
    require(verdict.region_count >= 0 && verdict.region_count <= static_cast<int32_t>(process.queries()));
    require(!verdict.suspected || verdict.region_count > 0);
    size_t walked = 0;
    walk_regions(process, [&](const MemoryRegion&) { return ++walked < 1000; });
    require(walked < 1000);
}

uint32_t le(const std::vector<uint8_t>& m, unsigned __int128 at, int bytes) {
    uint32_t v = 0;
    for (int k = 0; k < bytes; ++k) v |= static_cast<uint32_t>(m[static_cast<size_t>(at) + k]) << (8 * k);
    return v;
}

// The digest of the ".text" section as a plain reading of the mapped image
// gives it: headers must be readable whole, the section range is digested
// up to 16 MiB and must be readable to its end.
std::string reference_text_md5(const ModelProcess& p) {
    using u128 = unsigned __int128;
    const auto& m = p.memory();
    const u128 base = p.base(), limit = u128{1} << 64;
    auto whole = [&](u128 address, u128 size) {
        return address >= base && address + size <= base + m.size() && address + size <= limit &&
               (p.mode() != ReadMode::capped || size <= p.cap());
    };
    if (!whole(base, 64) || le(m, 0, 2) != 0x5A4D) return {};
    const auto e_lfanew = static_cast<int32_t>(le(m, 60, 4));
    const __int128 nt_signed = static_cast<__int128>(base) + e_lfanew;
    if (nt_signed < 0 || nt_signed >= static_cast<__int128>(limit)) return {};
    const u128 nt = static_cast<u128>(nt_signed);
    if (!whole(nt, 4) || le(m, nt - base, 4) != 0x4550) return {};
    if (nt + 4 >= limit || !whole(nt + 4, 20)) return {};
    const uint32_t sections = le(m, nt + 4 - base + 2, 2), optional = le(m, nt + 4 - base + 16, 2);
    if (sections == 0) return {};
    const u128 table = nt + 24 + optional;
    if (table >= limit) return {};
    for (uint32_t i = 0; i < sections; ++i) {
        const u128 at = table + u128{40} * i;
        if (at >= limit || !whole(at, 40)) return {};
        const size_t h = static_cast<size_t>(at - base);
        std::string name;
        for (size_t k = 0; k < 8 && m[h + k]; ++k) name += static_cast<char>(m[h + k]);
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (name != ".text") continue;
        const uint32_t virtual_size = le(m, h + 8, 4), virtual_address = le(m, h + 12, 4), raw = le(m, h + 16, 4);
        const u128 length = std::min<u128>(virtual_size ? virtual_size : raw, kTextDigestLimit);
        const u128 start = base + virtual_address;
        if (start >= limit || length == 0) return {};
        if (start < base || start + length > base + m.size() || start + length > limit) return {};
        auto hasher = native_system().md5();
        require(hasher != nullptr);
        require(hasher->update(m.data() + static_cast<size_t>(start - base), static_cast<size_t>(length)));
        auto digest = hasher->finish();
        return digest ? hex_lower(digest->data(), digest->size()) : std::string();
    }
    return {};
}

void fuzz_module_digest(ByteReader in) {
    ModelProcess process(in, false);
    const std::string digest = module_text_md5(&process, process.base());
    require(digest == reference_text_md5(process));
    require(digest.empty() || digest.size() == 32);
}

// ------------------------------------------------------------ files

void fuzz_pe_timestamp(ByteReader in) {
    const std::string_view bytes = in.rest();
    test::FakeMachine machine;
    machine.add_file("C:\\game\\holder.exe", bytes);
    ScopedSystemOverride use(machine);
    const std::string stamp = read_pe_timestamp("C:\\game\\holder.exe");

    // The literal reading: "MZ", e_lfanew > 0, "PE\0\0" and the COFF header
    // inside the file, TimeDateStamp 8 bytes after the signature.
    std::string expected;
    auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    if (bytes.size() >= 64 && bytes[0] == 'M' && bytes[1] == 'Z') {
        const auto e = static_cast<int32_t>(byte(60) | byte(61) << 8 | byte(62) << 16 | uint32_t{byte(63)} << 24);
        if (e > 0 && uint64_t(e) + 24 <= bytes.size() && bytes.substr(static_cast<size_t>(e), 4) == std::string_view("PE\0\0", 4)) {
            const size_t t = static_cast<size_t>(e) + 8;
            expected = std::to_string(byte(t) | byte(t + 1) << 8 | byte(t + 2) << 16 | uint32_t{byte(t + 3)} << 24);
        }
    }
    require(stamp == expected);
}

void fuzz_version_text(ByteReader in) {
    const uint16_t language = in.u16(), codepage = in.u16();
    const std::string_view name = in.bytes(in.u8());
    const uint16_t offset = in.u16();
    const uint32_t length = in.u32();
    const uint16_t block_start = in.u16(), block_size = in.u16();
    const std::string_view rest = in.rest();
    const std::vector<uint8_t> buffer(rest.begin(), rest.end());

    auto key = version_query_key(language, codepage, name);
    if (name.find('\0') != std::string_view::npos || 25 + name.size() >= kVersionKeyBuffer) {
        require(!key);
    } else {
        static constexpr char digits[] = "0123456789abcdef";
        std::string expected = "\\StringFileInfo\\";
        for (uint16_t word : {language, codepage})
            for (int shift = 12; shift >= 0; shift -= 4) expected += digits[(word >> shift) & 0xF];
        expected += '\\';
        expected += name;
        require(key && *key == expected);
    }

    // The block is a window of the buffer; the value may point anywhere in it.
    const size_t begin = std::min<size_t>(block_start, buffer.size());
    const size_t end = begin + std::min<size_t>(block_size, buffer.size() - begin);
    const std::span<const uint8_t> block(buffer.data() + begin, end - begin);
    const size_t at = buffer.empty() ? 0 : offset % (buffer.size() + 1);
    const void* value = buffer.empty() ? nullptr : buffer.data() + at;
    const std::string text = version_value_text(block, value, length);
    std::string expected;
    if (value && length > 0 && at >= begin && at < end)
        expected.assign(reinterpret_cast<const char*>(buffer.data() + at), std::min<size_t>(length - 1, end - at));
    require(text == expected);
}

}  // namespace
}  // namespace ac::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ac::fuzz;
    if (size == 0) return 0;
    ByteReader in(data + 1, size - 1);
    switch (static_cast<Target>(data[0] % kTargetCount)) {
        case Target::utf8_repair: fuzz_utf8_repair(in); break;
        case Target::json_writer: fuzz_json_writer(in); break;
        case Target::proc_stat: fuzz_proc_stat(in); break;
        case Target::proc_maps: fuzz_proc_maps(in); break;
        case Target::proc_field: fuzz_proc_field(in); break;
        case Target::proc_syscall: fuzz_proc_syscall(in); break;
        case Target::manual_map: fuzz_manual_map(in); break;
        case Target::module_digest: fuzz_module_digest(in); break;
        case Target::pe_timestamp: fuzz_pe_timestamp(in); break;
        case Target::version_text: fuzz_version_text(in); break;
        case Target::count: break;
    }
    return 0;
}
