// make_parsers_corpus DIR: seeds for the parsers fuzzer, the ordinary form of
// each input and the hostile shapes seen in the wild.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "parsers_input.hpp"
#include "support/pe_builder.hpp"

using ac::fuzz::ByteWriter;
using ac::fuzz::ReadMode;
using ac::fuzz::Target;
using ac::test::PeBuilder;
using namespace std::string_literals;

namespace {

std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;

void seed(const std::string& name, const ByteWriter& w) { seeds.emplace_back(name, w.data()); }

void text_seeds() {
    const std::vector<std::pair<std::string, std::string>> values = {
        {"ascii", "C:\\Games\\client.exe"},
        {"valid_multibyte", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAE"},
        {"overlong_nul", "dir\xC0\x80name"},
        {"surrogate", "\xED\xA0\x80"},
        {"above_max", "\xF4\x90\x80\x80"},
        {"lead_f5", "\xF5\x80\x80\x80"},
        {"bom_ff_fe", "\xFF\xFE" "a"},
        {"cp1252", "Gr\xFC\xDF" "e \x80 \x93quoted\x94"},
        {"cp1252_unmapped", "\x81\x8D\x8F\x90\x9D"},
        {"cut_sequence", "abc\xE2\x82"},
        {"lone_continuation", "\x80\xBF"},
        {"controls", "a\tb\nc\rd\x01\x1F\"\\/"s + '\0' + "end"},
    };
    for (const auto& [name, value] : values) {
        seed("utf8_" + name, ByteWriter(Target::utf8_repair).bytes(value));
        ByteWriter json(Target::json_writer);
        json.u8(2).u8(2);
        json.u8(4).bytes("path").u16(static_cast<uint16_t>(value.size())).bytes(value);
        json.u8(6).bytes("status").u16(2).bytes("ok");
        json.u8(1).u8(static_cast<uint8_t>(value.size() < 255 ? value.size() : 255)).bytes(value).u16(0);
        seed("json_" + name, json);
    }
    seed("json_empty_list", ByteWriter(Target::json_writer).u8(0));
    seed("json_empty_records", ByteWriter(Target::json_writer).u8(3).u8(0).u8(0).u8(0));
}

void procfs_seeds() {
    const std::vector<std::pair<std::string, std::string>> stats = {
        {"plain", "1234 (game) S 1 1234 1234 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 12 0 98765 1000 200 "
                  "18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 17 3 0 0 0 0 0\n"},
        {"paren_comm", "77 (a) b) (c) Z 1 77 77 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 0 0\n"},
        {"newline_comm", "78 (two\nlines) R 2 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 5000 0 7 0 0\n"},
        {"no_close", "79 (open S 1 2 3"},
        {"short", "80 (x) S 1"},
        {"huge_numbers", "4294967296 (x) S 99999999999999999999 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 0 1\n"},
    };
    for (const auto& [name, text] : stats) seed("stat_" + name, ByteWriter(Target::proc_stat).bytes(text));

    seed("maps_plain", ByteWriter(Target::proc_maps)
                           .bytes("55d0c0000000-55d0c0021000 r-xp 00000000 08:01 131 /usr/bin/game\n"
                                  "7f0000000000-7f0000001000 rw-p 00000000 00:00 0 \n"
                                  "7ffd1000-7ffd3000 r-xp 00000000 00:00 0                  [vdso]\n"));
    seed("maps_odd_paths", ByteWriter(Target::proc_maps)
                               .bytes("1000-2000 r-xs 00000000 00:01 4 /dev/zero (deleted)\n"
                                      "2000-3000 r-xp 00001000 00:01 5 /memfd:jit (deleted)\n"
                                      "3000-4000 r--p 00000000 08:01 6 /tmp/with space\\012name\n"
                                      "4000-5000 rwxp 00000000 08:01 7 /anon_hugepage\n"
                                      "5000-6000 r-xp 00000000 00:05 8 /SYSV00000000 (deleted)\n"
                                      "6000-7000 r-xp 00000000 08:01 9 relative\n"));
    seed("maps_malformed", ByteWriter(Target::proc_maps)
                               .bytes("2000-1000 r-xp 0 08:01 1 /backwards\nzz-yy rwxp\n1000 r-x\n"
                                      "1000-2000 rw 0 0 0\nffffffffffffffff0-1 r-xp 0 0 0\n\n"));

    const std::string status = "Name:\tgame\nState:\tS (sleeping)\nTracerPid:\t0\nPid:\t-1\n";
    seed("field_status", ByteWriter(Target::proc_field).u8(10).bytes("TracerPid:").bytes(status));
    seed("field_fdinfo", ByteWriter(Target::proc_field).u8(6).bytes("flags:").bytes("pos:\t0\nflags:\t0100002\n"));
    seed("field_btime", ByteWriter(Target::proc_field).u8(5).bytes("btime").bytes("cpu 1 2\nbtime 1700000000\n"));
    seed("field_empty_key", ByteWriter(Target::proc_field).u8(0).bytes("\n\nTracerPid:"));

    seed("syscall_blocked", ByteWriter(Target::proc_syscall).bytes("7 0x3 0x7ffc 0x40 0x0 0x0 0x0 0x7ffc10 0x7f12ab\n"));
    seed("syscall_running", ByteWriter(Target::proc_syscall).bytes("running\n"));
    seed("syscall_user", ByteWriter(Target::proc_syscall).bytes("-1 0x7ffd55 0x55d0c0001234\n"));
    seed("syscall_bad", ByteWriter(Target::proc_syscall).bytes("7 0x1 0xfffffffffffffffff \t\n"));
}

// The image as the loader maps it: headers, then each section at its RVA.
std::vector<uint8_t> mapped(const std::vector<uint8_t>& file) {
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int k = 0; k < n; ++k) v |= uint32_t{file[at + k]} << (8 * k);
        return v;
    };
    const uint32_t pe = le(60, 4), sections = le(pe + 6, 2), table = pe + 24 + le(pe + 20, 2);
    std::vector<uint8_t> image(file.begin(), file.begin() + table + 40 * sections);
    for (uint32_t i = 0; i < sections; ++i) {
        const size_t h = table + 40 * i;
        const uint32_t va = le(h + 12, 4), raw_size = le(h + 16, 4), raw = le(h + 20, 4);
        if (image.size() < va + raw_size) image.resize(va + raw_size);
        for (uint32_t k = 0; k < raw_size && raw + k < file.size(); ++k) image[va + k] = file[raw + k];
    }
    return image;
}

PeBuilder small_pe(bool plus) {
    PeBuilder pe;
    pe.pe32_plus = plus, pe.machine = plus ? 0x8664 : 0x14C;
    std::vector<uint8_t> code(300);
    for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<uint8_t>(i * 7);
    pe.add_section(".text", code).add_section(".data", std::vector<uint8_t>(32, 0x11), 0xC0000040);
    return pe;
}

ByteWriter region(ByteWriter w, uint16_t offset, uint16_t size, uint8_t allocation, uint8_t state, uint8_t protect,
                  uint8_t type) {
    return w.u16(offset).u16(size).u8(allocation).u8(state).u8(protect).u8(type);
}

void memory_seeds() {
    for (bool plus : {false, true}) {
        const std::string kind = plus ? "pe32plus_" : "pe32_";
        const std::vector<uint8_t> image = mapped(small_pe(plus).build());
        const auto units = static_cast<uint16_t>((image.size() + 31) / 32);
        for (uint8_t mode = 0; mode < static_cast<uint8_t>(ReadMode::count); ++mode)
            seed("digest_" + kind + std::to_string(mode),
                 ByteWriter(Target::module_digest).u8(mode).u8(mode == 2 ? 63 : 0).u8(0).bytes(image));
        seed("digest_" + kind + "top", ByteWriter(Target::module_digest).u8(1).u8(0).u8(1).bytes(image));
        PeBuilder upper = small_pe(plus);
        upper.sections[0].name = ".TEXT";
        upper.sections[0].virtual_size = 0;
        seed("digest_" + kind + "upper_raw_size", ByteWriter(Target::module_digest).u8(0).u8(0).u8(0).bytes(mapped(upper.build())));

        // Private executable code with PE headers: the whole image, or
        // header page apart from the executable pages of one allocation.
        ByteWriter whole(Target::manual_map);
        whole.u8(0).u8(0).u8(0).u8(1);
        seed("map_" + kind + "private_image", region(whole, 0, units, 1, 0, 0, 0).bytes(image));
        ByteWriter split(Target::manual_map);
        split.u8(0).u8(0).u8(0).u8(2);
        split = region(split, 0, 8, 1, 0, 5, 0);
        seed("map_" + kind + "header_apart", region(split, 8, static_cast<uint16_t>(units - 8), 2, 0, 0, 0).bytes(image));
        ByteWriter mapped_image(Target::manual_map);
        mapped_image.u8(0).u8(0).u8(0).u8(1);
        seed("map_" + kind + "image_type", region(mapped_image, 0, units, 1, 0, 0, 1).bytes(image));
    }
    ByteWriter large(Target::manual_map);
    large.u8(0).u8(0).u8(0).u8(2);
    large = region(large, 0, 0x8000, 1, 0, 1, 0);
    seed("map_large_rwx", region(large, 0x8000, 0x8000, 3, 0, 0x08 | 1, 0).bytes(std::string(64, '\x90')));
    ByteWriter lies(Target::manual_map);
    lies.u8(1).u8(3).u8(1).u8(4);
    lies = region(lies, 4, 4, 4, 0, 0, 0);
    lies = region(lies, 0, 0xFFFF, 2, 0, 0x30, 0);
    lies = region(lies, 2, 1, 0, 1, 2, 2);
    seed("map_overlapping", region(lies, 0, 0, 3, 2, 7, 0).bytes("MZ" + std::string(58, '\0') + "\x40\0\0\0PE\0\0"s));
}

void file_seeds() {
    for (bool plus : {false, true}) {
        PeBuilder pe = small_pe(plus);
        std::vector<uint8_t> file = pe.build();
        seed(std::string("timestamp_") + (plus ? "pe32plus" : "pe32"), ByteWriter(Target::pe_timestamp).bytes(file));
        file.resize(pe.pe_offset + 20);
        seed(std::string("timestamp_cut_") + (plus ? "pe32plus" : "pe32"), ByteWriter(Target::pe_timestamp).bytes(file));
    }
    std::string negative = "MZ" + std::string(58, '\0') + "\xF0\xFF\xFF\xFF" + std::string(64, 'P');
    seed("timestamp_negative_lfanew", ByteWriter(Target::pe_timestamp).bytes(negative));
    seed("timestamp_short", ByteWriter(Target::pe_timestamp).bytes("MZ"));

    const std::string block = "VS_VERSION_INFO\0\0StringFileInfo\0" "040904b0\0FileVersion\0" "1.2.3.4\0"s;
    auto version = [&](const std::string& name, std::string_view key, uint16_t offset, uint32_t length,
                       uint16_t block_start, uint16_t block_size) {
        seed("version_" + name, ByteWriter(Target::version_text)
                                    .u16(0x0409).u16(0x04B0).u8(static_cast<uint8_t>(key.size())).bytes(key)
                                    .u16(offset).u32(length).u16(block_start).u16(block_size).bytes(block));
    };
    const auto at = static_cast<uint16_t>(block.find("1.2.3.4"));
    const auto size = static_cast<uint16_t>(block.size());
    version("inside", "FileVersion", at, 8, 0, size);
    version("past_end", "ProductVersion", at, 0xFFFFFFFF, 0, size);
    version("zero_length", "CompanyName", at, 0, 0, size);
    version("before_block", "FileDescription", 2, 8, 16, static_cast<uint16_t>(size - 16));
    version("after_block", "FileVersion", at, 8, 0, at);
    version("longest_name", std::string(102, 'n'), at, 8, 0, size);
    version("name_too_long", std::string(103, 'n'), at, 8, 0, size);
    version("nul_in_name", "File\0Version"s, at, 8, 0, size);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: make_parsers_corpus DIR\n"), 2;
    std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    text_seeds();
    procfs_seeds();
    memory_seeds();
    file_seeds();
    int written = 0;
    for (const auto& [name, bytes] : seeds) {
        std::ofstream out(dir / name, std::ios::binary);
        written += out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())).good();
    }
    std::printf("wrote %d seed files to %s\n", written, dir.string().c_str());
    return written == static_cast<int>(seeds.size()) ? 0 : 1;
}
