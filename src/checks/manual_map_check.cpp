// Manual-map check: code that sits in the target's memory without the loader
// having put it there.
//
// Selection: committed, executable, private memory. Loaded modules are image
// mappings and never private, so every selected region is code the process (or
// someone writing into it) placed by hand: JIT output, thunks, executable heaps
// and injected code alike. The count is therefore only context; the verdict
// needs one of two stronger shapes:
//
//  1. A PE image in private memory: "MZ" at the start of the selected region
//     or of the private allocation it belongs to, and `e_lfanew` leading to
//     "PE\0\0" inside that region. This is what a manual mapper leaves when it
//     copies a DLL into VirtualAllocEx memory; looking at the allocation base
//     too catches mappers that give each section its own protection, so the
//     header page itself is not executable. No loader, JIT or runtime keeps PE
//     headers in private memory (a loader that has to copy sections, as Wine
//     does for DLLs whose sections are not page aligned, still maps the header
//     from the file, and such header regions are not private).
//  2. A large private allocation committed writable and executable from its
//     first byte: the other footprint of a cross-process image copy (one
//     VirtualAllocEx with PAGE_EXECUTE_READWRITE, headers then wiped). JIT
//     engines and executable heaps commit code in chunks far below the
//     threshold (Wine's executable heap is 64 KiB, typical code heaps are
//     64 KiB to a few hundred KiB) and current ones flip pages to
//     execute-read once written, so 1 MiB keeps this rule quiet on them.
//
// The finding is report-only, but it is still kept narrow so it means something.
#include "checks/manual_map_check.hpp"

#include "checks/region_walk.hpp"

#include <array>
#include <cstring>

namespace ac {
namespace {

constexpr uint32_t kProtectModifiers = win::PAGE_GUARD | win::PAGE_NOCACHE | win::PAGE_WRITECOMBINE;

constexpr std::array<uint32_t, 4> kExecutableProtections = {
    win::PAGE_EXECUTE, win::PAGE_EXECUTE_READ, win::PAGE_EXECUTE_READWRITE, win::PAGE_EXECUTE_WRITECOPY};

constexpr std::array<uint32_t, 2> kWritableExecutableProtections = {win::PAGE_EXECUTE_READWRITE,
                                                                    win::PAGE_EXECUTE_WRITECOPY};

constexpr uint64_t kLargeWritableCodeBytes = 1024 * 1024;

constexpr size_t kDosHeaderBytes = 64;
constexpr size_t kLfanewOffset = 60;
constexpr std::array<uint8_t, 4> kPeSignature = {'P', 'E', 0, 0};

template <size_t N>
bool contains(const std::array<uint32_t, N>& table, uint32_t value) {
    for (uint32_t entry : table)
        if (entry == value) return true;
    return false;
}

uint32_t base_protection(uint32_t protect) { return protect & ~kProtectModifiers; }

bool read_exact(ProcessHandle& process, uint64_t address, void* buffer, size_t size) {
    ReadResult r = process.read_memory(address, buffer, size);
    return r.ok && r.bytes == size;
}

// The PE header test on the region that starts at `region.base`; every read
// stays inside that region.
bool holds_pe_image(ProcessHandle& process, const MemoryRegion& region) {
    if (region.size < kDosHeaderBytes) return false;
    std::array<uint8_t, kDosHeaderBytes> dos{};
    if (!read_exact(process, region.base, dos.data(), dos.size())) return false;
    if (dos[0] != 'M' || dos[1] != 'Z') return false;
    int32_t e_lfanew = 0;
    std::memcpy(&e_lfanew, dos.data() + kLfanewOffset, sizeof e_lfanew);
    if (e_lfanew <= 0) return false;
    uint64_t signature_end = static_cast<uint64_t>(e_lfanew) + kPeSignature.size();
    if (signature_end > region.size) return false;
    std::array<uint8_t, kPeSignature.size()> signature{};
    if (!read_exact(process, region.base + static_cast<uint64_t>(e_lfanew), signature.data(), signature.size()))
        return false;
    return signature == kPeSignature;
}

bool is_committed_private(const MemoryRegion& region) {
    return region.state == win::MEM_COMMIT && region.type == win::MEM_PRIVATE;
}

// Rule 1, at the region itself and at the start of its allocation.
bool private_pe_image(ProcessHandle& process, const MemoryRegion& region, uint64_t& last_allocation_checked) {
    if (holds_pe_image(process, region)) return true;
    uint64_t allocation = region.allocation_base;
    if (allocation == 0 || allocation == region.base || allocation == last_allocation_checked) return false;
    last_allocation_checked = allocation;
    auto head = process.query_region(allocation);
    if (!head || head->base != allocation || !is_committed_private(*head)) return false;
    return holds_pe_image(process, *head);
}

// Rule 2.
bool large_writable_code_allocation(const MemoryRegion& region) {
    bool starts_allocation = region.allocation_base == 0 || region.allocation_base == region.base;
    return starts_allocation && region.size >= kLargeWritableCodeBytes &&
           contains(kWritableExecutableProtections, base_protection(region.protect));
}

}  // namespace

bool region_selected(const MemoryRegion& region) {
    return is_committed_private(region) && contains(kExecutableProtections, base_protection(region.protect));
}

ManualMapVerdict run_manual_map_check(ProcessHandle& process) {
    ManualMapVerdict verdict;
    uint64_t last_allocation_checked = 0;
    walk_regions(process, [&](const MemoryRegion& region) {
        if (region_selected(region)) {
            ++verdict.region_count;
            if (!verdict.suspected)
                verdict.suspected = large_writable_code_allocation(region) ||
                                    private_pe_image(process, region, last_allocation_checked);
        }
        return true;
    });
    return verdict;
}

}  // namespace ac
