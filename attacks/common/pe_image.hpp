// The in-memory layout of a PE file, as a manual mapper builds it: headers at
// offset 0, each section's raw data at its virtual address, the rest zero.
// No relocations, no imports: the copy is never run.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace attack {

inline std::vector<unsigned char> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline uint32_t le32(const std::vector<unsigned char>& b, size_t at) {
    if (at + 4 > b.size()) return 0;
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

inline uint16_t le16(const std::vector<unsigned char>& b, size_t at) {
    if (at + 2 > b.size()) return 0;
    uint16_t v;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

// Empty when the file is no PE32+ image the mapper understands.
inline std::vector<unsigned char> map_image(const std::vector<unsigned char>& file) {
    if (file.size() < 64 || file[0] != 'M' || file[1] != 'Z') return {};
    const size_t pe = le32(file, 60);
    if (le32(file, pe) != 0x00004550) return {};
    const size_t sections = le16(file, pe + 6), optional = pe + 24, optional_size = le16(file, pe + 20);
    const uint32_t image_size = le32(file, optional + 56), header_size = le32(file, optional + 60);
    if (image_size == 0 || image_size > (64u << 20) || header_size > image_size || header_size > file.size()) return {};
    std::vector<unsigned char> image(image_size);
    std::memcpy(image.data(), file.data(), header_size);
    for (size_t i = 0; i < sections; ++i) {
        const size_t h = optional + optional_size + i * 40;
        const uint32_t va = le32(file, h + 12), raw_size = le32(file, h + 16), raw_at = le32(file, h + 20);
        if (raw_size == 0 || va >= image_size || raw_at >= file.size()) continue;
        size_t n = raw_size;
        if (n > file.size() - raw_at) n = file.size() - raw_at;
        if (n > image_size - va) n = image_size - va;
        std::memcpy(image.data() + va, file.data() + raw_at, n);
    }
    return image;
}

}  // namespace attack
