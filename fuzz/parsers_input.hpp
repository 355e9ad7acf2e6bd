// The input layout of the parsers fuzzer, shared with its seed generator.
// Byte 0 picks the parser (modulo the count); the rest is that parser's
// payload, read front to back by ByteReader. Numbers are little-endian; a
// payload that runs out reads as zeros, so every byte string is some input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ac::fuzz {

enum class Target : uint8_t {
    utf8_repair,    // payload: the value
    json_writer,    // payload: records, see read_records in the fuzzer
    proc_stat,      // payload: /proc/PID/stat text
    proc_maps,      // payload: /proc/PID/maps text
    proc_field,     // payload: u8 key length, key, then the file text
    proc_syscall,   // payload: /proc/PID/task/TID/syscall text
    manual_map,     // payload: memory model (see ProcessModel), then memory bytes
    module_digest,  // payload: memory model header, then the image as mapped
    pe_timestamp,   // payload: the file
    version_text,   // payload: u16 language, u16 codepage, u8 name length, name,
                    //          u16 value offset, u32 value length, u16 block start, u16 block size, buffer
    count
};

inline constexpr size_t kTargetCount = static_cast<size_t>(Target::count);

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
    uint32_t u32() { return static_cast<uint32_t>(u16()) | (static_cast<uint32_t>(u16()) << 16); }
    std::string_view bytes(size_t n) {
        n = n < size_ - pos_ ? n : size_ - pos_;
        std::string_view out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }
    std::string_view rest() { return bytes(size_ - pos_); }
    bool empty() const { return pos_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

class ByteWriter {
public:
    explicit ByteWriter(Target target) { out_.push_back(static_cast<uint8_t>(target)); }
    ByteWriter& u8(uint8_t v) { return out_.push_back(v), *this; }
    ByteWriter& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
    ByteWriter& u32(uint32_t v) { return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16)); }
    ByteWriter& bytes(std::string_view b) { return out_.insert(out_.end(), b.begin(), b.end()), *this; }
    ByteWriter& bytes(const std::vector<uint8_t>& b) { return out_.insert(out_.end(), b.begin(), b.end()), *this; }
    const std::vector<uint8_t>& data() const { return out_; }

private:
    std::vector<uint8_t> out_;
};

// The memory model of manual_map and module_digest. Header: u8 read mode,
// u8 read cap, u8 placement, u8 region count, then per region 8 bytes:
// u16 offset and u16 size (both in 32-byte units from the memory start),
// u8 allocation-base choice, u8 state, u8 protection, u8 type.
enum class ReadMode : uint8_t {
    honest,   // a read past the end copies what it can and fails
    partial,  // ... and reports success with a short count
    capped,   // every read copies at most `cap` bytes and succeeds
    count
};
inline constexpr uint64_t kMemoryBase = 0x10000;
inline constexpr size_t kRegionRecordBytes = 8;

}  // namespace ac::fuzz
