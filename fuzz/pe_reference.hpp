// A deliberately plain second reading of a PE file for the fuzzer to compare against: every section
// digested, every RVA found by walking the section table. Slow on hostile files, so the reader does neither.
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
    auto rd = [&](uint64_t at, unsigned w, uint64_t v = 0) {
        for (unsigned i = 0; i < w; ++i) v |= uint64_t{f[at + i]} << (8 * i);
        return v;
    };
    auto join = [](std::vector<std::string> parts, const char* sep, std::string text = {}) {
        std::sort(parts.begin(), parts.end());
        for (size_t i = 0; i < parts.size(); ++i) text += (i ? sep : "") + parts[i];
        return text;
    };
    PeFingerprint fp = empty_pe_fingerprint();
    fp.fileSize = n;  // every answer, even "not_pe", reports the size
    auto done = [&](const char* status) { return fp.status = status, fp; };
    if (n < 64 || f[0] != 'M' || f[1] != 'Z') return done("not_pe");
    uint64_t p = rd(60, 4);
    if (p + 24 > n || f[p] != 'P' || f[p + 1] != 'E' || f[p + 2] || f[p + 3]) return done("bad_pe_header");
    fp.machine = uint32_t(rd(p + 4, 2)), fp.sectionCount = uint32_t(rd(p + 6, 2));
    uint64_t o = p + 24, t = o + rd(p + 20, 2);
    if (t > n) return done("bad_optional_header");
    if (o + 2 > n || (rd(o, 2) != 0x10B && rd(o, 2) != 0x20B)) return done("unsupported_optional_header");
    bool plus = rd(o, 2) == 0x20B;
    if (o + 20 > n) return done("bad_section_table");
    fp.entryPoint = uint32_t(rd(o + 16, 4));
    if (t + 40ull * fp.sectionCount > n) return done("bad_section_table");

    struct Sec { std::string name, digest; uint32_t va, span, ptr, chars; };
    std::vector<Sec> secs;
    for (uint32_t i = 0; i < fp.sectionCount; ++i) {
        uint64_t h = t + 40ull * i;
        uint32_t vs = uint32_t(rd(h + 8, 4)), raw = uint32_t(rd(h + 16, 4));
        Sec s{{}, {}, uint32_t(rd(h + 12, 4)), std::max(vs, raw), uint32_t(rd(h + 20, 4)), uint32_t(rd(h + 36, 4))};
        for (int k = 0; k < 8 && f[h + k]; ++k) s.name += char(f[h + k]);
        if (s.ptr && raw && uint64_t{s.ptr} + raw <= n) s.digest = buffer_md5(f.data() + s.ptr, raw);
        char item[64];
        std::snprintf(item, sizeof item, ":%u:%u:%08x", vs, raw, s.chars);
        fp.sectionLayout += (i ? ";" : "") + s.name + item;
        std::string low = to_lower(s.name);
        if (low == ".text" && !s.digest.empty()) fp.codeSectionName = s.name, fp.codeMd5 = s.digest;
        if (low == ".data" && !s.digest.empty()) fp.dataMd5 = s.digest;
        secs.push_back(s);
    }
    for (const auto& s : secs)
        if (fp.codeMd5.empty() && !s.digest.empty() && (s.chars & 0x20000000))
            fp.codeSectionName = s.name, fp.codeMd5 = s.digest;

    auto map = [&](uint32_t r) -> std::optional<uint64_t> {
        for (const auto& s : secs) {
            if (!s.ptr || !s.span || r < s.va || r >= uint32_t(s.va + s.span)) continue;
            if (uint64_t off = uint64_t{s.ptr} + (r - s.va); off < n)
                return off < (1ull << 31) ? std::optional<uint64_t>(off) : std::nullopt;
        }
        return std::nullopt;
    };
    fp.status = "parsed", fp.parsed = true;
    uint64_t dir = o + (plus ? 120 : 104);
    std::optional<uint64_t> d0;
    if (dir + 8 <= n && rd(dir, 4)) d0 = map(uint32_t(rd(dir, 4)));
    std::vector<std::string> entries;
    for (int i = 0; d0 && i < 128 && *d0 + 20ull * i + 20 <= n; ++i) {
        uint64_t d = *d0 + 20ull * i;
        uint32_t oft = uint32_t(rd(d, 4)), name = uint32_t(rd(d + 12, 4)), ft = uint32_t(rd(d + 16, 4));
        if (!oft && !name && !ft) break;
        auto at = map(name), lt = (oft || ft) ? map(oft ? oft : ft) : std::nullopt;
        std::vector<std::string> names;
        for (unsigned k = 0, w = plus ? 8 : 4; lt && k < 512 && *lt + uint64_t(k) * w + w <= n; ++k) {
            uint64_t v = rd(*lt + uint64_t(k) * w, w);
            if (!v) break;
            if (v >> (w * 8 - 1)) names.push_back("#" + std::to_string(v & 0xFFFF));
            else if (auto hn = map(uint32_t(v)); hn && *hn + 2 < n) names.push_back(read_import_name(f, *hn + 2));
        }
        entries.push_back((at ? read_import_name(f, *at) : "") + ':' + join(names, "|"));
    }
    std::string text = join(entries, ";");
    if (!entries.empty()) fp.importMd5 = buffer_md5(text.data(), text.size());
    return fp;
}

}  // namespace ac::fuzz
