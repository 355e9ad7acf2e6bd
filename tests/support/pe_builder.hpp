// A small builder of synthetic PE files for tests, fuzz seeds and benches.
//
// The defaults give a well-formed PE32+ (or PE32) image: DOS header, "PE\0\0",
// COFF header, optional header with 16 data directories, the section table,
// section data at 0x200 file alignment and 0x1000 section alignment, and, when
// imports are listed, an ".idata" section after the user's sections holding
// descriptors, lookup tables (OriginalFirstThunk), address tables
// (FirstThunk), hint/name records and DLL names. Every structure has a knob to
// break it; the byte offsets of the headers are exposed so tests can cut or
// patch the result.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace ac::test {

struct PeSection {
    std::string name;                          // raw, up to 8 bytes (8 means no terminator)
    std::vector<uint8_t> data;                 // written at the section's raw pointer
    uint32_t characteristics = 0x60000020;     // code | execute | read
    std::optional<uint32_t> virtual_size;      // default: data size
    std::optional<uint32_t> raw_size;          // default: data size rounded up to 0x200
    std::optional<uint32_t> raw_pointer;       // default: next aligned file position (0 when no raw data)
    std::optional<uint32_t> virtual_address;   // default: next 0x1000-aligned address
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
    bool original_first_thunk = true;       // false: OriginalFirstThunk 0, names only through FirstThunk
    bool first_thunk = true;                // false: FirstThunk 0
    std::optional<uint32_t> name_rva;       // e.g. an unmapped address
    std::optional<uint32_t> lookup_rva;     // replaces OriginalFirstThunk (or FirstThunk when that is the table)
};

class PeBuilder {
public:
    static constexpr uint32_t kFileAlignment = 0x200;
    static constexpr uint32_t kSectionAlignment = 0x1000;

    // ---- shape
    bool pe32_plus = true;
    uint16_t machine = 0x8664;
    uint32_t entry_point = 0x1000;
    uint32_t pe_offset = 0x80;  // where the PE header is written
    std::vector<PeSection> sections;
    std::vector<PeImport> imports;

    // ---- knobs that break structures
    bool mz = true;                                   // false: "ZM"
    std::optional<uint32_t> e_lfanew;                 // the offset written at 60 (default pe_offset)
    bool pe_signature = true;                         // false: "PX\0\0"
    std::optional<uint16_t> magic;                    // default 0x20B / 0x10B
    std::optional<uint16_t> size_of_optional_header;  // written value; the layout keeps the real size
    std::optional<uint16_t> number_of_sections;       // written value; the table keeps the real count
    std::optional<uint32_t> import_directory_rva;     // 0: no imports; other: anywhere
    bool terminate_descriptors = true;                // false: no all-zero descriptor after the last
    std::optional<uint32_t> import_section_address;   // where ".idata" goes (default: after the others)

    // ---- layout, valid for the current shape
    uint32_t optional_header_size() const { return pe32_plus ? 240 : 224; }
    uint32_t optional_header_offset() const { return pe_offset + 24; }
    uint32_t section_table_offset() const { return optional_header_offset() + optional_header_size(); }
    uint32_t import_directory_offset() const { return optional_header_offset() + (pe32_plus ? 120 : 104); }
    uint32_t section_count() const { return static_cast<uint32_t>(sections.size() + (imports.empty() ? 0 : 1)); }
    uint32_t headers_size() const { return align(section_table_offset() + 40 * section_count(), kFileAlignment); }

    PeBuilder& add_section(std::string name, std::vector<uint8_t> data, uint32_t characteristics = 0x60000020) {
        PeSection s;
        s.name = std::move(name);
        s.data = std::move(data);
        s.characteristics = characteristics;
        sections.push_back(std::move(s));
        return *this;
    }
    PeBuilder& add_import(std::string dll, std::vector<PeFunction> functions) {
        PeImport i;
        i.dll = std::move(dll);
        i.functions = std::move(functions);
        imports.push_back(std::move(i));
        return *this;
    }

    std::vector<uint8_t> build() const {
        struct Placed {
            PeSection s;
            uint32_t va, vsize, raw_size, raw_pointer;
        };
        std::vector<Placed> placed;
        uint32_t next_va = kSectionAlignment;
        uint32_t file_pos = headers_size();
        auto place = [&](const PeSection& s) {
            Placed p{s, 0, 0, 0, 0};
            p.va = s.virtual_address.value_or(next_va);
            p.vsize = s.virtual_size.value_or(static_cast<uint32_t>(s.data.size()));
            p.raw_size = s.raw_size.value_or(align(static_cast<uint32_t>(s.data.size()), kFileAlignment));
            uint32_t room = align(std::max<uint32_t>(p.raw_size, static_cast<uint32_t>(s.data.size())), kFileAlignment);
            if (s.raw_pointer) {
                p.raw_pointer = *s.raw_pointer;
            } else if (room) {
                p.raw_pointer = file_pos;
                file_pos += room;
            }
            uint64_t end = uint64_t{p.va} + std::max<uint32_t>({p.vsize, p.raw_size, 1});
            if (!s.virtual_address || end > next_va)
                next_va = static_cast<uint32_t>(std::min<uint64_t>(align64(end, kSectionAlignment), 0xFFFFF000u));
            placed.push_back(std::move(p));
        };
        for (const auto& s : sections) place(s);

        uint32_t idata_va = 0, idata_size = 0;
        if (!imports.empty()) {
            idata_va = import_section_address.value_or(next_va);
            PeSection idata;
            idata.virtual_address = idata_va;
            idata.name = ".idata";
            idata.characteristics = 0xC0000040;
            idata.data = import_section(idata_va);
            idata_size = static_cast<uint32_t>(imports.size() + 1) * 20;
            place(idata);
        }

        std::vector<uint8_t> out(std::max<uint32_t>(file_pos, headers_size()), 0);
        auto put = [&](uint64_t at, uint64_t value, unsigned width) {
            for (unsigned i = 0; i < width && at + i < out.size(); ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
        };

        // DOS header
        out[0] = mz ? 'M' : 'Z';
        out[1] = mz ? 'Z' : 'M';
        put(60, e_lfanew.value_or(pe_offset), 4);

        // PE signature and COFF header
        const uint32_t p = pe_offset;
        if (p + 24 > out.size()) return out;
        out[p] = 'P';
        out[p + 1] = pe_signature ? 'E' : 'X';
        put(p + 4, machine, 2);
        put(p + 6, number_of_sections.value_or(static_cast<uint16_t>(placed.size())), 2);
        put(p + 8, 0x5F000000, 4);  // TimeDateStamp
        put(p + 20, size_of_optional_header.value_or(static_cast<uint16_t>(optional_header_size())), 2);
        put(p + 22, pe32_plus ? 0x2022 : 0x2102, 2);  // executable, DLL (+ large-address / 32-bit)

        // optional header
        const uint32_t o = optional_header_offset();
        put(o, magic.value_or(pe32_plus ? 0x20B : 0x10B), 2);
        uint32_t code_size = 0;
        for (const auto& s : placed)
            if (s.s.characteristics & 0x20) code_size += s.raw_size;
        put(o + 4, code_size, 4);
        put(o + 16, entry_point, 4);
        put(o + 20, kSectionAlignment, 4);  // BaseOfCode
        if (pe32_plus) {
            put(o + 24, 0x180000000ull, 8);
        } else {
            put(o + 28, 0x10000000u, 4);
        }
        put(o + 32, kSectionAlignment, 4);
        put(o + 36, kFileAlignment, 4);
        put(o + 40, 6, 2);  // OS version
        put(o + 48, 6, 2);  // subsystem version
        put(o + 56, next_va, 4);  // SizeOfImage
        put(o + 60, headers_size(), 4);
        put(o + 68, 3, 2);  // console subsystem
        put(o + 70, 0x0160, 2);
        const uint32_t rva_count_at = pe32_plus ? o + 108 : o + 92;
        put(rva_count_at, 16, 4);
        put(import_directory_offset(), import_directory_rva.value_or(idata_va), 4);
        put(import_directory_offset() + 4, idata_size, 4);

        // section table and data
        uint32_t h = section_table_offset();
        for (const auto& s : placed) {
            for (size_t i = 0; i < 8 && i < s.s.name.size(); ++i) out[h + i] = static_cast<uint8_t>(s.s.name[i]);
            put(h + 8, s.vsize, 4);
            put(h + 12, s.va, 4);
            put(h + 16, s.raw_size, 4);
            put(h + 20, s.raw_pointer, 4);
            put(h + 36, s.s.characteristics, 4);
            h += 40;
            if (s.raw_pointer && s.raw_pointer < out.size()) {
                size_t n = std::min<size_t>(s.s.data.size(), out.size() - s.raw_pointer);
                if (n) std::memcpy(out.data() + s.raw_pointer, s.s.data.data(), n);
            }
        }
        return out;
    }

    static uint32_t align(uint32_t value, uint32_t to) { return static_cast<uint32_t>(align64(value, to)); }
    static uint64_t align64(uint64_t value, uint64_t to) { return (value + to - 1) / to * to; }

private:
    // The ".idata" contents for a section placed at `va`.
    std::vector<uint8_t> import_section(uint32_t va) const {
        const uint32_t width = pe32_plus ? 8 : 4;
        uint32_t at = static_cast<uint32_t>(imports.size() + 1) * 20;  // descriptors + terminator
        std::vector<uint32_t> ilt(imports.size()), iat(imports.size());
        for (size_t i = 0; i < imports.size(); ++i) {
            uint32_t table = static_cast<uint32_t>(imports[i].functions.size() + 1) * width;
            ilt[i] = at;
            iat[i] = at + table;
            at += 2 * table;
        }
        std::vector<std::vector<uint32_t>> hint_names(imports.size());
        for (size_t i = 0; i < imports.size(); ++i)
            for (const auto& f : imports[i].functions) {
                hint_names[i].push_back(at);
                if (!f.ordinal) at += align(static_cast<uint32_t>(2 + f.name.size() + 1), 2);
            }
        std::vector<uint32_t> dll_names(imports.size());
        for (size_t i = 0; i < imports.size(); ++i) {
            dll_names[i] = at;
            at += static_cast<uint32_t>(imports[i].dll.size() + 1);
        }

        std::vector<uint8_t> out(at, 0);
        auto put = [&](uint32_t off, uint64_t value, unsigned w) {
            for (unsigned k = 0; k < w; ++k) out[off + k] = static_cast<uint8_t>(value >> (8 * k));
        };
        for (size_t i = 0; i < imports.size(); ++i) {
            const PeImport& imp = imports[i];
            uint32_t d = static_cast<uint32_t>(i) * 20;
            uint32_t oft = imp.original_first_thunk ? va + ilt[i] : 0;
            uint32_t ft = imp.first_thunk ? va + iat[i] : 0;
            if (imp.lookup_rva) (imp.original_first_thunk ? oft : ft) = *imp.lookup_rva;
            put(d + 0, oft, 4);
            put(d + 12, imp.name_rva.value_or(va + dll_names[i]), 4);
            put(d + 16, ft, 4);
            for (size_t k = 0; k < imp.functions.size(); ++k) {
                const PeFunction& f = imp.functions[k];
                uint64_t entry;
                if (f.ordinal) {
                    entry = (pe32_plus ? uint64_t{1} << 63 : uint64_t{1} << 31) | *f.ordinal;
                } else {
                    entry = va + hint_names[i][k];
                    put(hint_names[i][k], f.hint, 2);
                    std::memcpy(out.data() + hint_names[i][k] + 2, f.name.data(), f.name.size());
                }
                put(ilt[i] + static_cast<uint32_t>(k) * width, entry, width);
                put(iat[i] + static_cast<uint32_t>(k) * width, entry, width);
            }
            std::memcpy(out.data() + dll_names[i], imp.dll.data(), imp.dll.size());
        }
        if (!terminate_descriptors && !imports.empty()) {
            // Repeat the last descriptor where the terminator would be.
            std::memcpy(out.data() + imports.size() * 20, out.data() + (imports.size() - 1) * 20, 20);
        }
        return out;
    }
};

}  // namespace ac::test
