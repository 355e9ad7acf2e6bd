// The evidence list behind a manual-map finding: up to three selected regions
// with a sample of their first bytes.
#include "reports/region_report.hpp"

#include <algorithm>
#include <array>
#include <utility>

#include "checks/manual_map_check.hpp"
#include "checks/region_walk.hpp"
#include "evidence/text.hpp"
#include "reports/record.hpp"

namespace ac {
namespace {

constexpr uint32_t kProtectModifierMask = 0x700;

constexpr std::array<std::pair<uint32_t, std::string_view>, 8> kProtectWords = {{
    {win::PAGE_NOACCESS, "NOACCESS"},
    {win::PAGE_READONLY, "READONLY"},
    {win::PAGE_READWRITE, "READWRITE"},
    {win::PAGE_WRITECOPY, "WRITECOPY"},
    {win::PAGE_EXECUTE, "EXECUTE"},
    {win::PAGE_EXECUTE_READ, "EXECUTE_READ"},
    {win::PAGE_EXECUTE_READWRITE, "EXECUTE_READWRITE"},
    {win::PAGE_EXECUTE_WRITECOPY, "EXECUTE_WRITECOPY"},
}};

constexpr std::array<std::pair<uint32_t, std::string_view>, 3> kTypeWords = {{
    {win::MEM_PRIVATE, "MEM_PRIVATE"},
    {win::MEM_MAPPED, "MEM_MAPPED"},
    {win::MEM_IMAGE, "MEM_IMAGE"},
}};

template <size_t N>
std::string_view lookup(const std::array<std::pair<uint32_t, std::string_view>, N>& table, uint32_t value) {
    for (auto& [key, text] : table)
        if (key == value) return text;
    return word::unknown_upper;
}

ReportRecord region_record(ProcessHandle& process, const MemoryRegion& region) {
    ReportRecord record;
    set_field(record, region_key::baseAddress, address_text(region.base));
    set_field(record, region_key::protect, protect_word(region.protect));
    set_field(record, region_key::protectRaw, std::to_string(region.protect));
    std::string sample = read_region_sample(&process, region.base, std::min(region.size, kRegionSampleLimit));
    if (!sample.empty()) {
        set_field(record, region_key::sampleBytes, std::to_string(sample.size() / 2));
        set_field(record, region_key::sampleHex, sample);
    } else {
        set_field(record, region_key::sampleStatus, word::read_failed);
    }
    set_field(record, region_key::size, std::to_string(region.size));
    set_field(record, region_key::state, std::to_string(region.state));
    set_field(record, region_key::type, region_type_word(region.type));
    return record;
}

}  // namespace

std::string_view protect_word(uint32_t protect) { return lookup(kProtectWords, protect & ~kProtectModifierMask); }

std::string_view region_type_word(uint32_t type) { return lookup(kTypeWords, type); }

std::vector<ReportRecord> list_executable_regions(uint32_t pid) {
    std::vector<ReportRecord> regions;
    auto process = sys().open_process(pid, win::PROCESS_QUERY_INFORMATION | win::PROCESS_VM_READ);
    if (!process) return regions;
    walk_regions(*process, [&](const MemoryRegion& region) {
        if (region_selected(region)) regions.push_back(region_record(*process, region));
        return regions.size() < kRegionListLimit;
    });
    return regions;
}

std::string read_region_sample(ProcessHandle* process, uint64_t address, uint64_t size) {
    if (!process || address == 0 || size == 0) return {};
    std::vector<uint8_t> buffer(size);
    ReadResult read = process->read_memory(address, buffer.data(), buffer.size());
    if (!read.ok || read.bytes == 0) return {};
    return hex_lower(buffer.data(), std::min<size_t>(read.bytes, buffer.size()));
}

}  // namespace ac
