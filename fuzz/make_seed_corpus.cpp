// make_seed_corpus DIR: the PE fuzzer's seeds, well-formed PE32 and PE32+ images and each way to break them.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/pe_builder.hpp"

using ac::test::PeBuilder;
using ac::test::PeFunction;
using Change = std::function<size_t(PeBuilder&)>;  // breaks one structure; returns a length to cut to, or 0

int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: make_seed_corpus DIR\n"), 2;
    std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const std::vector<std::pair<const char*, Change>> variants = {
        {"valid", [](auto&) { return 0; }},
        {"not_mz", [](auto& v) { return v.mz = false, 0; }},
        {"63_bytes", [](auto&) { return 63; }},
        {"far_pe_header", [](auto& v) { return v.e_lfanew = 0xFFFFFFF0u, 0; }},
        {"bad_signature", [](auto& v) { return v.pe_signature = false, 0; }},
        {"long_optional_header", [](auto& v) { return v.size_of_optional_header = 0xFFFF, 0; }},
        {"magic_107", [](auto& v) { return v.magic = 0x107, 0; }},
        {"cut_optional_header", [](auto& v) { return v.size_of_optional_header = 0, v.optional_header_offset() + 19; }},
        {"cut_section_table", [](auto& v) { return v.section_table_offset() + 50; }},
        {"many_sections", [](auto& v) { return v.number_of_sections = 0xFFFF, 0; }},
        {"code_fallback",
         [](auto& v) { return v.sections[0].raw_size = 0, v.add_section("CODE", std::vector<uint8_t>(32, 0xC3)), 0; }},
        {"raw_data_outside", [](auto& v) { return v.sections[1].raw_pointer = 0x7FFFFFF0u, 0; }},
        {"unmapped_dll_name",
         [](auto& v) { return v.imports[0].name_rva = 0x7FFF0000, v.imports[1].original_first_thunk = false, 0; }},
        {"unmapped_lookup", [](auto& v) { return v.imports[0].lookup_rva = 0x7FFF0000, 0; }},
        {"no_import_directory", [](auto& v) { return v.import_directory_rva = 0, 0; }},
        {"unmapped_import_directory", [](auto& v) { return v.import_directory_rva = 0x7FFF0000, 0; }},
        {"unterminated_descriptors",
         [](auto& v) { return v.imports.push_back(v.imports[0]), v.terminate_descriptors = false, 0; }},
        {"many_lookup_entries", [](auto& v) { return v.imports[0].functions.assign(520, PeFunction::named("Sleep")), 0; }},
        {"no_sections", [](auto& v) { return v.sections.clear(), v.imports.clear(), 0; }},
        // Which of these maps an RVA depends on table order, file bounds and 32-bit wrap-around.
        {"overlapping_sections", [](auto& v) {
             v.import_section_address = 0x40000;
             for (uint32_t i = 0; i < 24; ++i)
                 v.sections.push_back({"ov" + std::to_string(i), {}, 0x40000040, 0x80 * (i % 4), 0x40 * (i % 7),
                                       i % 6 == 0 ? 0x7FFFF000u : (i % 6 == 1 ? 0u : 0x200 * (i % 4)),
                                       0x40000 - 0x100 * (i % 5) + 0x80 * (i % 3)});
             return v.sections.push_back({"wrap", {}, 0x60000020, 0x2000, 0x200, 0x200, 0xFFFFF000u}), 0;
         }},
    };
    int written = 0;
    for (bool plus : {false, true}) {
        PeBuilder base;
        base.pe32_plus = plus, base.machine = plus ? 0x8664 : 0x14C;
        std::vector<uint8_t> code(600);
        for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<uint8_t>(i * 13);
        base.add_section(".text", code).add_section(".data", std::vector<uint8_t>(64, 0x5A), 0xC0000040);
        base.add_import("KERNEL32.dll", {PeFunction::named("ExitProcess"), PeFunction::named("GetTickCount"),
                                         PeFunction::by_ordinal(17)});
        base.add_import("user32.dll", {PeFunction::named("MessageBoxA")});
        for (const auto& [name, change] : variants) {
            PeBuilder v = base;
            const size_t cut = change(v);
            std::vector<uint8_t> bytes = v.build();
            if (cut) bytes.resize(cut);
            std::ofstream out(dir / ((plus ? "pe32plus_" : "pe32_") + std::string(name)), std::ios::binary);
            written += out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())).good();
        }
    }
    std::printf("wrote %d seed files to %s\n", written, dir.string().c_str());
    return written > 0 ? 0 : 1;
}
