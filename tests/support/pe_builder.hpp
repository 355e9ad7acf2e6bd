// Synthetic PE files for tests, fuzz seeds and benches: a well-formed PE32+/PE32 image with knobs to break it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ac::test {

struct PeSection {
    std::string name;                          // raw, up to 8 bytes (8 means no terminator)
    std::vector<uint8_t> data;                 // written at the section's raw pointer
    uint32_t characteristics = 0x60000020;     // code | execute | read
    // Defaults: data size; that rounded up to 0x200; next aligned file position (0 without raw data); next 0x1000.
    std::optional<uint32_t> virtual_size, raw_size, raw_pointer, virtual_address;
};

struct PeFunction {
    std::string name;
    std::optional<uint16_t> ordinal;  // set: imported by ordinal, name ignored
    uint16_t hint = 0;

    static PeFunction named(std::string n) { return {std::move(n), std::nullopt, 0}; }
    static PeFunction by_ordinal(uint16_t o) { return {{}, o, 0}; }
};

struct PeImport {
    std::string dll;
    std::vector<PeFunction> functions;
    bool original_first_thunk = true, first_thunk = true;  // false: that thunk is 0
    std::optional<uint32_t> name_rva, lookup_rva;  // lookup_rva replaces OriginalFirstThunk (or FirstThunk if none)
};

class PeBuilder {
public:
    static constexpr uint32_t kFileAlignment = 0x200, kSectionAlignment = 0x1000;

    bool pe32_plus = true;
    uint16_t machine = 0x8664;
    uint32_t entry_point = 0x1000, pe_offset = 0x80;  // pe_offset: where the PE header is written
    std::vector<PeSection> sections;
    std::vector<PeImport> imports;

    // Knobs that break structures. false: "ZM", "PX\0\0", no all-zero descriptor after the last one.
    bool mz = true, pe_signature = true, terminate_descriptors = true;
    // e_lfanew: written at 60 (default pe_offset); import_directory_rva 0: no imports; ".idata" default: at the end.
    std::optional<uint32_t> e_lfanew, import_directory_rva, import_section_address;
    std::optional<uint16_t> magic, size_of_optional_header, number_of_sections;  // written; layout keeps the real

    uint32_t optional_header_size() const { return pe32_plus ? 240 : 224; }
    uint32_t optional_header_offset() const { return pe_offset + 24; }
    uint32_t section_table_offset() const { return optional_header_offset() + optional_header_size(); }
    uint32_t import_directory_offset() const { return optional_header_offset() + (pe32_plus ? 120 : 104); }
    uint32_t section_count() const { return static_cast<uint32_t>(sections.size() + (imports.empty() ? 0 : 1)); }
    uint32_t headers_size() const { return align(section_table_offset() + 40 * section_count(), kFileAlignment); }

    PeBuilder& add_section(std::string name, std::vector<uint8_t> data, uint32_t characteristics = 0x60000020) {
        return sections.push_back(PeSection{std::move(name), std::move(data), characteristics, {}, {}, {}, {}}), *this;
    }
    PeBuilder& add_import(std::string dll, std::vector<PeFunction> functions) {
        return imports.push_back(PeImport{std::move(dll), std::move(functions), true, true, {}, {}}), *this;
    }

    std::vector<uint8_t> build() const {
        struct Placed { PeSection s; uint32_t va, vsize, raw_size, raw_pointer; }; std::vector<Placed> placed;
        uint32_t next_va = kSectionAlignment, file_pos = headers_size();
        auto place = [&](const PeSection& s) {
            const auto size = static_cast<uint32_t>(s.data.size());
            Placed p{s, s.virtual_address.value_or(next_va), s.virtual_size.value_or(size),
                     s.raw_size.value_or(align(size, kFileAlignment)), 0};
            uint32_t room = align(std::max(p.raw_size, size), kFileAlignment);
            if (s.raw_pointer) p.raw_pointer = *s.raw_pointer;
            else if (room) p.raw_pointer = file_pos, file_pos += room;
            uint64_t end = uint64_t{p.va} + std::max<uint32_t>({p.vsize, p.raw_size, 1});
            if (!s.virtual_address || end > next_va)
                next_va = static_cast<uint32_t>(std::min<uint64_t>(align64(end, kSectionAlignment), 0xFFFFF000u));
            placed.push_back(std::move(p));
        };
        for (const auto& s : sections) place(s);

        const uint32_t idata_va = imports.empty() ? 0 : import_section_address.value_or(next_va);
        const uint32_t idata_size = imports.empty() ? 0 : static_cast<uint32_t>(imports.size() + 1) * 20;
        if (!imports.empty()) place(PeSection{".idata", import_section(idata_va), 0xC0000040, {}, {}, {}, idata_va});

        std::vector<uint8_t> out(std::max<uint32_t>(file_pos, headers_size()), 0);
        auto put = [&](uint64_t at, uint64_t value, unsigned width) {
            for (unsigned i = 0; i < width && at + i < out.size(); ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
        };
        out[0] = mz ? 'M' : 'Z', out[1] = mz ? 'Z' : 'M', put(60, e_lfanew.value_or(pe_offset), 4);

        const uint32_t p = pe_offset, o = optional_header_offset();
        if (p + 24 > out.size()) return out;
        out[p] = 'P', out[p + 1] = pe_signature ? 'E' : 'X';
        put(p + 4, machine, 2), put(p + 8, 0x5F000000, 4), put(p + 22, pe32_plus ? 0x2022 : 0x2102, 2);  // DLL
        put(p + 6, number_of_sections.value_or(static_cast<uint16_t>(placed.size())), 2);
        put(p + 20, size_of_optional_header.value_or(static_cast<uint16_t>(optional_header_size())), 2);

        put(o, magic.value_or(pe32_plus ? 0x20B : 0x10B), 2);
        uint32_t code_size = 0; for (const auto& s : placed) code_size += (s.s.characteristics & 0x20) ? s.raw_size : 0;
        put(o + 4, code_size, 4), put(o + 16, entry_point, 4), put(o + 20, kSectionAlignment, 4);  // BaseOfCode
        pe32_plus ? put(o + 24, 0x180000000ull, 8) : put(o + 28, 0x10000000u, 4);  // ImageBase
        put(o + 32, kSectionAlignment, 4), put(o + 36, kFileAlignment, 4);
        put(o + 40, 6, 2), put(o + 48, 6, 2), put(o + 56, next_va, 4), put(o + 60, headers_size(), 4);
        put(o + 68, 3, 2), put(o + 70, 0x0160, 2), put(pe32_plus ? o + 108 : o + 92, 16, 4);  // data directory count
        const uint32_t d = import_directory_offset();
        put(d, import_directory_rva.value_or(idata_va), 4), put(d + 4, idata_size, 4);

        for (uint32_t h = section_table_offset(); const auto& s : placed) {
            for (size_t i = 0; i < 8 && i < s.s.name.size(); ++i) out[h + i] = static_cast<uint8_t>(s.s.name[i]);
            put(h + 8, s.vsize, 4), put(h + 12, s.va, 4), put(h + 16, s.raw_size, 4), put(h + 20, s.raw_pointer, 4);
            put(h + 36, s.s.characteristics, 4), h += 40;
            if (s.raw_pointer && s.raw_pointer < out.size())
                std::copy_n(s.s.data.begin(), std::min<size_t>(s.s.data.size(), out.size() - s.raw_pointer),
                            out.begin() + s.raw_pointer);
        }
        return out;
    }

    static uint32_t align(uint32_t value, uint32_t to) { return static_cast<uint32_t>(align64(value, to)); }
    static uint64_t align64(uint64_t value, uint64_t to) { return (value + to - 1) / to * to; }

private:
    // ".idata" at `va`: descriptors + terminator, per DLL a lookup and an address table, hint/names, DLL names.
    std::vector<uint8_t> import_section(uint32_t va) const {
        const uint32_t width = pe32_plus ? 8 : 4, count = static_cast<uint32_t>(imports.size());
        uint32_t at = (count + 1) * 20;
        std::vector<uint32_t> ilt(count), iat(count), dll_names(count);
        std::vector<std::vector<uint32_t>> hint_names(count);
        for (uint32_t i = 0, table; i < count; ++i)
            table = static_cast<uint32_t>(imports[i].functions.size() + 1) * width, ilt[i] = at, iat[i] = at + table,
            at += 2 * table;
        for (uint32_t i = 0; i < count; ++i)
            for (const auto& f : imports[i].functions)
                hint_names[i].push_back(at), at += f.ordinal ? 0 : align(static_cast<uint32_t>(f.name.size() + 3), 2);
        for (uint32_t i = 0; i < count; ++i) dll_names[i] = at, at += static_cast<uint32_t>(imports[i].dll.size() + 1);

        std::vector<uint8_t> out(at, 0);
        auto put = [&](uint32_t to, uint64_t v, unsigned w) { while (w--) out[to + w] = uint8_t(v >> 8 * w); };
        for (uint32_t i = 0; i < count; ++i) {
            const PeImport& imp = imports[i];
            uint32_t oft = imp.original_first_thunk ? va + ilt[i] : 0, ft = imp.first_thunk ? va + iat[i] : 0;
            if (imp.lookup_rva) (imp.original_first_thunk ? oft : ft) = *imp.lookup_rva;
            put(i * 20, oft, 4), put(i * 20 + 12, imp.name_rva.value_or(va + dll_names[i]), 4), put(i * 20 + 16, ft, 4);
            for (uint32_t k = 0; k < imp.functions.size(); ++k) {
                const PeFunction& f = imp.functions[k];
                const uint32_t n = hint_names[i][k];
                const uint64_t entry = f.ordinal ? (pe32_plus ? 1ull << 63 : 1ull << 31) | *f.ordinal : va + n;
                if (!f.ordinal) put(n, f.hint, 2), std::copy(f.name.begin(), f.name.end(), out.begin() + n + 2);
                put(ilt[i] + k * width, entry, width), put(iat[i] + k * width, entry, width);
            }
            std::copy(imp.dll.begin(), imp.dll.end(), out.begin() + dll_names[i]);
        }
        if (!terminate_descriptors && count)  // repeat the last descriptor where the terminator would be
            std::copy_n(out.begin() + (count - 1) * 20, 20, out.begin() + count * 20);
        return out;
    }
};

}  // namespace ac::test
