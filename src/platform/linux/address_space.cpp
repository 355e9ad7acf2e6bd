#include "platform/linux/address_space.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <string>

namespace ac::lx {
namespace {

constexpr uint64_t kPageMask = ~uint64_t{0xfff};

// A file is told apart by its device and inode, which survive renames and
// deletion; the path text would not.
std::string file_key(const MapsLine& m) { return m.device + "/" + std::to_string(m.inode); }

bool is_kernel_image(const MapsLine& m) { return m.path == "[vdso]" || m.path == "[vsyscall]"; }

uint32_t protection(const MapsLine& m) {
    // A private writable file mapping copies a page on its first write, as
    // Windows' copy-on-write protections do.
    bool copy = m.write && !m.shared && m.backing() != MapsLine::Backing::anonymous;
    if (m.exec) {
        if (m.write) return copy ? win::PAGE_EXECUTE_WRITECOPY : win::PAGE_EXECUTE_READWRITE;
        return m.read ? win::PAGE_EXECUTE_READ : win::PAGE_EXECUTE;
    }
    if (m.write) return copy ? win::PAGE_WRITECOPY : win::PAGE_READWRITE;
    return m.read ? win::PAGE_READONLY : win::PAGE_NOACCESS;
}

struct ImageFile {
    uint64_t base = 0;
    uint64_t end = 0;
    bool has_offset_zero = false;
    std::string path;
    uint64_t first_start = 0, first_end = 0;  // its first mapping, which names it in map_files
};

std::string hex(uint64_t value) {
    char text[17];
    int n = std::snprintf(text, sizeof text, "%" PRIx64, value);
    return std::string(text, static_cast<size_t>(n));
}

// Files with at least one executable mapping, by file key.
std::map<std::string, ImageFile> image_files(const std::vector<MapsLine>& lines) {
    std::map<std::string, ImageFile> images;
    for (const auto& m : lines)
        if (m.file_backed() && m.exec) images.try_emplace(file_key(m));
    for (const auto& m : lines) {
        if (!m.file_backed()) continue;
        auto it = images.find(file_key(m));
        if (it == images.end()) continue;
        ImageFile& f = it->second;
        if (f.path.empty()) {
            f.path = m.path;
            f.base = m.start;
            f.first_start = m.start;
            f.first_end = m.end;
        }
        if (m.offset == 0 && !f.has_offset_zero) {
            f.has_offset_zero = true;
            f.base = m.start;
        } else if (!f.has_offset_zero) {
            f.base = std::min(f.base, m.start);
        }
        f.end = std::max(f.end, m.end);
    }
    return images;
}

}  // namespace

AddressSpace::AddressSpace(const std::vector<MapsLine>& lines) {
    auto images = image_files(lines);
    regions_.reserve(lines.size());
    for (const auto& m : lines) {
        MemoryRegion r;
        r.base = m.start;
        r.size = m.end - m.start;
        r.state = win::MEM_COMMIT;
        r.protect = protection(m);
        r.allocation_base = m.start;
        r.allocation_protect = r.protect;
        auto image = m.file_backed() ? images.find(file_key(m)) : images.end();
        if (image != images.end() || is_kernel_image(m)) {
            r.type = win::MEM_IMAGE;
            r.allocation_protect = win::PAGE_EXECUTE_WRITECOPY;  // how Windows maps every image
            if (image != images.end()) r.allocation_base = image->second.base;
        } else if (m.shared || m.backing() != MapsLine::Backing::anonymous) {
            r.type = win::MEM_MAPPED;
        } else {
            r.type = win::MEM_PRIVATE;
        }
        regions_.push_back(r);
    }
}

std::optional<MemoryRegion> AddressSpace::query(uint64_t address) const {
    auto after = std::upper_bound(regions_.begin(), regions_.end(), address,
                                  [](uint64_t a, const MemoryRegion& r) { return a < r.base + r.size; });
    uint64_t page = address & kPageMask;
    if (after != regions_.end() && after->base <= address) {
        MemoryRegion r = *after;
        r.size = r.base + r.size - page;
        r.base = page;
        return r;
    }
    if (address >= kUserSpaceEnd) return std::nullopt;
    MemoryRegion free;
    free.base = page;
    uint64_t gap_end = after == regions_.end() ? kUserSpaceEnd : std::min(after->base, kUserSpaceEnd);
    free.size = gap_end - page;
    free.state = win::MEM_FREE;
    free.protect = win::PAGE_NOACCESS;
    return free;
}

std::vector<ModuleEntry> image_modules(const std::vector<MapsLine>& lines, std::string_view main_executable,
                                       std::string_view map_files) {
    auto images = image_files(lines);
    std::vector<ModuleEntry> out;
    out.reserve(images.size());
    for (auto& [_, f] : images) {
        std::string content;
        if (!map_files.empty())
            content.append(map_files).append(hex(f.first_start)).append("-").append(hex(f.first_end));
        out.push_back({f.base, f.end - f.base, f.path, std::move(content)});
    }
    std::sort(out.begin(), out.end(), [&](const ModuleEntry& a, const ModuleEntry& b) {
        bool a_main = !main_executable.empty() && a.path == main_executable;
        bool b_main = !main_executable.empty() && b.path == main_executable;
        if (a_main != b_main) return a_main;
        return a.base < b.base;
    });
    return out;
}

}  // namespace ac::lx
