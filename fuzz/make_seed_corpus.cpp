// Writes the PE fuzzer's seed corpus: well-formed PE32 and PE32+ images and
// one variant for each way a structure can be broken.
//
//   make_seed_corpus DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/pe_builder.hpp"

using ac::test::PeBuilder;
using ac::test::PeFunction;

namespace {

PeBuilder base(bool pe32_plus) {
    PeBuilder b;
    b.pe32_plus = pe32_plus;
    b.machine = pe32_plus ? 0x8664 : 0x14C;
    std::vector<uint8_t> code(600);
    for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<uint8_t>(i * 13);
    b.add_section(".text", code);
    b.add_section(".data", std::vector<uint8_t>(64, 0x5A), 0xC0000040);
    b.add_import("KERNEL32.dll", {PeFunction::named("ExitProcess"), PeFunction::named("GetTickCount"),
                                  PeFunction::by_ordinal(17)});
    b.add_import("user32.dll", {PeFunction::named("MessageBoxA")});
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seed_corpus DIR\n");
        return 2;
    }
    std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    int written = 0;
    auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        written += out.good() ? 1 : 0;
    };

    for (bool plus : {false, true}) {
        const std::string tag = plus ? "pe32plus_" : "pe32_";
        PeBuilder b = base(plus);
        write(tag + "valid", b.build());

        PeBuilder v = b;
        v.mz = false;
        write(tag + "not_mz", v.build());
        auto cut = b.build();
        cut.resize(63);
        write(tag + "63_bytes", cut);

        v = b;
        v.e_lfanew = 0xFFFFFFF0u;
        write(tag + "far_pe_header", v.build());
        v = b;
        v.pe_signature = false;
        write(tag + "bad_signature", v.build());
        v = b;
        v.size_of_optional_header = 0xFFFF;
        write(tag + "long_optional_header", v.build());
        v = b;
        v.magic = 0x107;
        write(tag + "magic_107", v.build());
        v = b;
        v.size_of_optional_header = 0;
        cut = v.build();
        cut.resize(v.optional_header_offset() + 19);
        write(tag + "cut_optional_header", cut);
        cut = b.build();
        cut.resize(b.section_table_offset() + 50);
        write(tag + "cut_section_table", cut);
        v = b;
        v.number_of_sections = 0xFFFF;
        write(tag + "many_sections", v.build());

        v = b;
        v.sections[0].raw_size = 0;
        v.add_section("CODE", std::vector<uint8_t>(32, 0xC3));
        write(tag + "code_fallback", v.build());
        v = b;
        v.sections[1].raw_pointer = 0x7FFFFFF0u;
        write(tag + "raw_data_outside", v.build());

        v = b;
        v.imports[0].name_rva = 0x7FFF0000;
        v.imports[1].original_first_thunk = false;
        write(tag + "unmapped_dll_name", v.build());
        v = b;
        v.imports[0].lookup_rva = 0x7FFF0000;
        write(tag + "unmapped_lookup", v.build());
        v = b;
        v.import_directory_rva = 0;
        write(tag + "no_import_directory", v.build());
        v = b;
        v.import_directory_rva = 0x7FFF0000;
        write(tag + "unmapped_import_directory", v.build());
        v = b;
        v.imports.push_back(v.imports[0]);
        v.terminate_descriptors = false;
        write(tag + "unterminated_descriptors", v.build());
        v = b;
        v.imports[0].functions.assign(520, PeFunction::named("Sleep"));
        write(tag + "many_lookup_entries", v.build());

        // Many overlapping sections around the imports: which one maps an RVA
        // depends on table order, file bounds and 32-bit wrap-around.
        v = b;
        v.import_section_address = 0x40000;
        for (uint32_t i = 0; i < 24; ++i) {
            ac::test::PeSection s;
            s.name = "ov" + std::to_string(i);
            s.virtual_address = 0x40000 - 0x100 * (i % 5) + 0x80 * (i % 3);
            s.virtual_size = 0x80 * (i % 4);
            s.raw_size = 0x40 * (i % 7);
            s.raw_pointer = i % 6 == 0 ? 0x7FFFF000u : (i % 6 == 1 ? 0u : 0x200 * (i % 4));
            s.characteristics = 0x40000040;
            v.sections.push_back(s);
        }
        ac::test::PeSection wrap;
        wrap.name = "wrap";
        wrap.virtual_address = 0xFFFFF000u;
        wrap.virtual_size = 0x2000;
        wrap.raw_pointer = 0x200;
        wrap.raw_size = 0x200;
        v.sections.push_back(wrap);
        write(tag + "overlapping_sections", v.build());

        PeBuilder bare;
        bare.pe32_plus = plus;
        write(tag + "no_sections", bare.build());
    }
    std::printf("wrote %d seed files to %s\n", written, dir.string().c_str());
    return written > 0 ? 0 : 1;
}
