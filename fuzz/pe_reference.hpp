// A deliberately plain second reading of a PE file for the fuzzer to compare
// against: every section digested, every RVA found by walking the section
// table. Slow on hostile files, which is why the reader does neither.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "evidence/digest.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "evidence/text.hpp"

namespace ac::fuzz {

inline PeFingerprint reference_fingerprint(std::span<const uint8_t> f) {
    const uint64_t n = f.size();
    auto rd = [&](uint64_t at, unsigned w) {
        uint64_t v = 0;
        for (unsigned i = 0; i < w; ++i) v |= uint64_t{f[at + i]} << (8 * i);
        return v;
    };
    PeFingerprint fp = empty_pe_fingerprint();
    fp.fileSize = n;
    auto done = [&](const char* status) {
        fp.status = status;
        return fp;
    };
    if (n < 64 || f[0] != 'M' || f[1] != 'Z') return done("not_pe");
    uint64_t p = rd(60, 4);
    if (p + 24 > n || f[p] != 'P' || f[p + 1] != 'E' || f[p + 2] || f[p + 3]) return done("bad_pe_header");
    fp.machine = uint32_t(rd(p + 4, 2));
    fp.sectionCount = uint32_t(rd(p + 6, 2));
    uint64_t o = p + 24, t = o + rd(p + 20, 2);
    if (t > n) return done("bad_optional_header");
    if (o + 2 > n || (rd(o, 2) != 0x10B && rd(o, 2) != 0x20B)) return done("unsupported_optional_header");
    bool plus = rd(o, 2) == 0x20B;
    if (o + 20 > n) return done("bad_section_table");
    fp.entryPoint = uint32_t(rd(o + 16, 4));
    if (t + 40ull * fp.sectionCount > n) return done("bad_section_table");

    struct Sec {
        std::string name, digest;
        uint32_t va, span, ptr, chars;
    };
    std::vector<Sec> secs;
    for (uint32_t i = 0; i < fp.sectionCount; ++i) {
        uint64_t h = t + 40ull * i;
        Sec s;
        for (int k = 0; k < 8 && f[h + k]; ++k) s.name += char(f[h + k]);
        uint32_t vs = uint32_t(rd(h + 8, 4)), raw = uint32_t(rd(h + 16, 4));
        s.va = uint32_t(rd(h + 12, 4));
        s.ptr = uint32_t(rd(h + 20, 4));
        s.chars = uint32_t(rd(h + 36, 4));
        s.span = std::max(vs, raw);
        if (s.ptr && raw && uint64_t{s.ptr} + raw <= n) s.digest = buffer_md5(f.data() + s.ptr, raw);
        char item[64];
        std::snprintf(item, sizeof item, ":%u:%u:%08x", vs, raw, s.chars);
        fp.sectionLayout += (i ? ";" : "") + s.name + item;
        std::string low = to_lower(s.name);
        if (low == ".text" && !s.digest.empty()) fp.codeSectionName = s.name, fp.codeMd5 = s.digest;
        if (low == ".data" && !s.digest.empty()) fp.dataMd5 = s.digest;
        secs.push_back(s);
    }
    if (fp.codeMd5.empty())
        for (const auto& s : secs)
            if (!s.digest.empty() && (s.chars & 0x20000000)) {
                fp.codeSectionName = s.name, fp.codeMd5 = s.digest;
                break;
            }

    auto map = [&](uint32_t r) -> std::optional<uint64_t> {
        for (const auto& s : secs) {
            if (!s.ptr || !s.span || r < s.va || r >= uint32_t(s.va + s.span)) continue;
            uint64_t off = uint64_t{s.ptr} + (r - s.va);
            if (off >= n) continue;
            if (off >= (1ull << 31)) return std::nullopt;
            return off;
        }
        return std::nullopt;
    };
    fp.status = "parsed";
    fp.parsed = true;
    uint64_t dir = o + (plus ? 120 : 104);
    if (dir + 8 > n) return fp;
    uint32_t rva = uint32_t(rd(dir, 4));
    auto d0 = rva ? map(rva) : std::nullopt;
    if (!d0) return fp;
    std::vector<std::string> entries;
    for (int i = 0; i < 128; ++i) {
        uint64_t d = *d0 + 20ull * i;
        if (d + 20 > n) break;
        uint32_t oft = uint32_t(rd(d, 4)), name = uint32_t(rd(d + 12, 4)), ft = uint32_t(rd(d + 16, 4));
        if (!oft && !name && !ft) break;
        std::string entry;
        if (auto at = map(name)) entry = read_import_name(f, *at);
        entry += ':';
        std::vector<std::string> names;
        uint32_t table = oft ? oft : ft;
        auto lt = table ? map(table) : std::nullopt;
        unsigned w = plus ? 8 : 4;
        for (int k = 0; lt && k < 512; ++k) {
            uint64_t at = *lt + uint64_t(k) * w;
            if (at + w > n) break;
            uint64_t v = rd(at, w);
            if (!v) break;
            if (v >> (w * 8 - 1)) {
                names.push_back("#" + std::to_string(v & 0xFFFF));
            } else if (auto hn = map(uint32_t(v)); hn && *hn + 2 < n) {
                names.push_back(read_import_name(f, *hn + 2));
            }
        }
        std::sort(names.begin(), names.end());
        for (size_t k = 0; k < names.size(); ++k) entry += (k ? "|" : "") + names[k];
        entries.push_back(entry);
    }
    if (entries.empty()) return fp;
    std::sort(entries.begin(), entries.end());
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) text += (i ? ";" : "") + entries[i];
    fp.importMd5 = buffer_md5(text.data(), text.size());
    return fp;
}

}  // namespace ac::fuzz
