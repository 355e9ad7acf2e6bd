// The PE reader on synthetic files: where it stops, what it digests, the
// canonical imports text and the per-file cache.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "evidence/digest.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "fake_system.hpp"
#include "support/pe_builder.hpp"

namespace ac {
namespace {

using test::PeBuilder;
using test::PeFunction;

std::vector<uint8_t> filled(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

// Expected digests; a digest that failed would make every comparison vacuous.
std::string md5_of(const void* bytes, size_t count) {
    std::string digest = buffer_md5(bytes, count);
    EXPECT_EQ(digest.size(), 32u);
    return digest;
}
std::string md5_of(std::string_view text) { return md5_of(text.data(), text.size()); }
std::string md5_of(const std::vector<uint8_t>& bytes) { return md5_of(bytes.data(), bytes.size()); }

PeFingerprint parse(const std::vector<uint8_t>& bytes) { return parse_pe_fingerprint(bytes); }

PeBuilder simple_dll(bool pe32_plus = true) {
    PeBuilder b;
    b.pe32_plus = pe32_plus;
    b.machine = pe32_plus ? 0x8664 : 0x14C;
    b.entry_point = 0x1234;
    b.add_section(".text", filled(512, 1));
    return b;
}

TEST(PeFingerprintStatus, StopsAtEachStructureWithTheFieldsReadSoFar) {
    std::vector<uint8_t> small(63, 0);
    small[0] = 'M', small[1] = 'Z';
    EXPECT_EQ(parse(small).status, "not_pe");
    EXPECT_EQ(parse(small).fileSize, 63u);

    std::vector<uint8_t> header_only(64, 0);
    header_only[0] = 'M', header_only[1] = 'Z', header_only[60] = 64;
    EXPECT_EQ(parse(header_only).status, "bad_pe_header");
    header_only[0] = 'm';
    EXPECT_EQ(parse(header_only).status, "not_pe");

    PeBuilder far = simple_dll();
    far.e_lfanew = 0xFFFFFFF0u;  // p + 24 wraps in 32 bits
    EXPECT_EQ(parse(far.build()).status, "bad_pe_header");

    PeBuilder unsigned_header = simple_dll();
    unsigned_header.pe_signature = false;
    EXPECT_EQ(parse(unsigned_header.build()).status, "bad_pe_header");

    PeBuilder long_optional = simple_dll();
    long_optional.size_of_optional_header = 0xFFFF;
    PeFingerprint fp = parse(long_optional.build());
    EXPECT_EQ(fp.status, "bad_optional_header");
    EXPECT_EQ(fp.machine, 0x8664u);
    EXPECT_EQ(fp.sectionCount, 1u);

    PeBuilder rom = simple_dll(false);
    rom.magic = 0x107;
    fp = parse(rom.build());
    EXPECT_EQ(fp.status, "unsupported_optional_header");
    EXPECT_FALSE(fp.parsed);
    EXPECT_EQ(fp.machine, 0x14Cu);
    EXPECT_EQ(fp.sectionCount, 1u);
    EXPECT_EQ(fp.entryPoint, 0u);

    // An optional header that ends 19 bytes in: the magic is there, the entry point is not.
    PeBuilder stub = simple_dll();
    stub.size_of_optional_header = 0;
    auto bytes = stub.build();
    bytes.resize(stub.optional_header_offset() + 19);
    fp = parse(bytes);
    EXPECT_EQ(fp.status, "bad_section_table");
    EXPECT_EQ(fp.entryPoint, 0u);

    PeBuilder cut = simple_dll();
    bytes = cut.build();
    bytes.resize(cut.section_table_offset() + 39);
    fp = parse(bytes);
    EXPECT_EQ(fp.status, "bad_section_table");
    EXPECT_EQ(fp.entryPoint, 0x1234u);
    EXPECT_EQ(fp.sectionLayout, "");

    PeBuilder many = simple_dll();
    many.number_of_sections = 0xFFFF;
    EXPECT_EQ(parse(many.build()).status, "bad_section_table");
}

TEST(PeFingerprintSections, LayoutTextAndDigestsOfBothFormats) {
    for (bool plus : {false, true}) {
        PeBuilder b;
        b.pe32_plus = plus;
        auto code = filled(512, 3);
        auto data = filled(1024, 9);
        b.add_section(".text", code);
        b.sections.back().virtual_size = 4096;
        b.add_section(".rdata", filled(200, 5), 0x40);
        b.add_section(".data", data, 0xC0000040);
        auto bytes = b.build();
        PeFingerprint fp = parse(bytes);
        ASSERT_EQ(fp.status, "parsed") << plus;
        EXPECT_TRUE(fp.parsed);
        EXPECT_EQ(fp.sectionCount, 3u);
        EXPECT_EQ(fp.fileSize, bytes.size());
        EXPECT_EQ(fp.sectionLayout, ".text:4096:512:60000020;.rdata:200:512:00000040;.data:1024:1024:c0000040");
        EXPECT_EQ(fp.codeSectionName, ".text");
        EXPECT_EQ(fp.codeMd5, md5_of(code));
        EXPECT_EQ(fp.dataMd5, md5_of(data));
        EXPECT_EQ(fp.importMd5, "");
    }
}

TEST(PeFingerprintSections, NamesAreRawAndCodeSectionIsFoundByNameThenByFlag) {
    PeBuilder upper;
    upper.add_section(".TEXT", filled(512, 1), 0x40);  // by name, even without the executable flag
    PeFingerprint fp = parse(upper.build());
    EXPECT_EQ(fp.codeSectionName, ".TEXT");
    EXPECT_EQ(fp.codeMd5, md5_of(filled(512, 1)));

    PeBuilder fallback;
    fallback.add_section(".text", {});  // no raw data: no digest
    fallback.sections.back().virtual_size = 0x800;
    fallback.add_section(".rdata", filled(512, 2), 0x40000040);
    fallback.add_section("CODE\x01", filled(512, 4), 0x60000020);
    fallback.add_section("MORE", filled(512, 6), 0x60000020);
    fp = parse(fallback.build());
    EXPECT_EQ(fp.codeSectionName, "CODE\x01");
    EXPECT_EQ(fp.codeMd5, md5_of(filled(512, 4)));
    EXPECT_EQ(fp.sectionLayout.substr(0, 22), ".text:2048:0:60000020;");

    PeBuilder odd;
    odd.add_section("12345678", filled(512, 1));  // all eight bytes, no terminator
    odd.add_section(".data", filled(512, 2), 0xC0000040);
    odd.add_section(".data", filled(512, 3), 0xC0000040);  // a later namesake replaces the first
    odd.add_section("past", filled(512, 4));
    odd.sections.back().raw_pointer = 0x100000;  // raw data beyond the file: no digest
    fp = parse(odd.build());
    EXPECT_EQ(fp.sectionLayout.substr(0, 9), "12345678:");
    EXPECT_EQ(fp.codeSectionName, "12345678");
    EXPECT_EQ(fp.dataMd5, md5_of(filled(512, 3)));

    PeBuilder none;
    fp = parse(none.build());
    EXPECT_EQ(fp.status, "parsed");
    EXPECT_EQ(fp.sectionLayout, "");
    EXPECT_EQ(fp.codeSectionName, "");
    EXPECT_EQ(fp.codeMd5, "");
}

TEST(PeFingerprintImports, CanonicalTextInBothFormats) {
    for (bool plus : {false, true}) {
        PeBuilder b = simple_dll(plus);
        b.add_import("USER32.dll", {PeFunction::named("MessageBoxA")});
        b.add_import("KERNEL32.dll", {PeFunction::named("GetTickCount"), PeFunction::by_ordinal(65535),
                                      PeFunction::named("ExitProcess"), PeFunction::by_ordinal(5)});
        b.add_import("KERNEL32.dll", {PeFunction::named("Sleep")});  // a second descriptor stays
        b.add_import("empty.dll", {});
        b.imports.back().first_thunk = false;
        b.imports.back().original_first_thunk = false;
        PeFingerprint fp = parse(b.build());
        ASSERT_EQ(fp.status, "parsed");
        EXPECT_EQ(fp.importMd5, md5_of("empty.dll:;kernel32.dll:#5|#65535|exitprocess|gettickcount;"
                                       "kernel32.dll:sleep;user32.dll:messageboxa"))
            << plus;
    }
}

TEST(PeFingerprintImports, DescriptorsThatPointNowhere) {
    PeBuilder b = simple_dll();
    b.add_import("lost.dll", {PeFunction::named("B"), PeFunction::named("a")});
    b.imports.back().name_rva = 0x7FFF0000;  // unmapped name
    b.add_import("thunks.dll", {PeFunction::named("Only\x7f\x01Thunk")});
    b.imports.back().original_first_thunk = false;  // names through FirstThunk, odd bytes skipped
    b.add_import("nolookup.dll", {PeFunction::named("x")});
    b.imports.back().lookup_rva = 0x7FFF0000;
    EXPECT_EQ(parse(b.build()).importMd5, md5_of(":a|b;nolookup.dll:;thunks.dll:onlythunk"));

    PeBuilder zero = simple_dll();
    zero.add_import("kernel32.dll", {PeFunction::named("Sleep")});
    zero.import_directory_rva = 0;
    PeFingerprint fp = parse(zero.build());
    EXPECT_EQ(fp.status, "parsed");
    EXPECT_EQ(fp.importMd5, "");

    zero.import_directory_rva = 0x7FFF0000;
    EXPECT_EQ(parse(zero.build()).importMd5, "");
}

TEST(PeFingerprintImports, FirstSectionInTableOrderThatMapsInsideTheFileWins) {
    PeBuilder b = simple_dll();
    b.add_import("kernel32.dll", {PeFunction::named("Sleep")});
    b.import_section_address = 0x40000;
    test::PeSection cover;
    cover.name = "cover";
    cover.virtual_address = 0x3FFF0;
    cover.virtual_size = 0x2000;
    cover.raw_size = 0x2000;
    cover.raw_pointer = 0x7FFF0000;  // its offsets fall outside the file: skipped
    b.sections.push_back(cover);
    EXPECT_EQ(parse(b.build()).importMd5, md5_of("kernel32.dll:sleep"));

    b.sections.back().raw_pointer = b.headers_size();  // now it maps, onto the code bytes, and comes first
    EXPECT_NE(parse(b.build()).importMd5, md5_of("kernel32.dll:sleep"));
}

TEST(PeFingerprintImports, HostileCountsAreBounded) {
    PeBuilder b = simple_dll();
    std::string expected;
    for (int i = 0; i < 130; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "d%03d.dll", i);
        b.add_import(name, {});
        if (i < 128) expected += std::string(i ? ";" : "") + name + ":";
    }
    b.terminate_descriptors = false;
    EXPECT_EQ(parse(b.build()).importMd5, md5_of(expected));

    PeBuilder wide = simple_dll();
    std::vector<PeFunction> functions(600, PeFunction::by_ordinal(7));
    wide.add_import("big.dll", functions);
    std::string names = "big.dll:#7";
    for (int i = 1; i < 512; ++i) names += "|#7";
    EXPECT_EQ(parse(wide.build()).importMd5, md5_of(names));
}

TEST(ReadImportName, PrintableLowercaseBoundedAndInsideTheBuffer) {
    std::vector<uint8_t> buf = {'A', 'b', 0x1F, 'C', 0x80, 'd', 0, 'e'};
    EXPECT_EQ(read_import_name(buf, 0), "abcd");
    EXPECT_EQ(read_import_name(buf, 7), "e");
    EXPECT_EQ(read_import_name(buf, 8), "");
    EXPECT_EQ(read_import_name(buf, uint64_t{1} << 40), "");

    std::vector<uint8_t> run(300, 'X');
    EXPECT_EQ(read_import_name(run, 0), std::string(256, 'x'));
    EXPECT_EQ(read_import_name(run, 100), std::string(200, 'x'));
}

class PeFileTest : public ::testing::Test {
protected:
    test::FakeMachine machine;
    ScopedSystemOverride use{machine};
};

TEST_F(PeFileTest, ReadsTheFileItOpensAndFailsOnOpenOrReadErrors) {
    auto bytes = simple_dll().build();
    machine.add_file("C:\\pe\\a.dll", bytes);
    PeFingerprint fp = read_pe_fingerprint("C:\\pe\\a.dll", FileFacts{true, 10, 1});
    EXPECT_EQ(fp.status, "parsed");
    EXPECT_EQ(fp.fileSize, bytes.size());  // what was read, not what the facts said

    fp = read_pe_fingerprint("C:\\pe\\missing.dll", FileFacts{true, 77, 1});
    EXPECT_EQ(fp.status, "open_error");
    EXPECT_EQ(fp.fileSize, 77u);
    EXPECT_EQ(read_pe_fingerprint("C:\\pe\\missing.dll", FileFacts{}).fileSize, 0u);

    machine.add_file("C:\\pe\\bad.dll", bytes).read_error = true;
    EXPECT_EQ(read_pe_fingerprint("C:\\pe\\bad.dll", FileFacts{true, 5, 1}).status, "open_error");
}

TEST_F(PeFileTest, CacheReadsAnUnchangedFileOnce) {
    auto& file = machine.add_file("C:\\Cache\\One.dll", simple_dll().build(), 100);
    FileFacts facts = file.facts;
    EXPECT_EQ(pe_fingerprint("C:\\Cache\\One.dll", facts).status, "parsed");
    EXPECT_EQ(pe_fingerprint("C:\\Cache\\One.dll", facts).status, "parsed");
    EXPECT_EQ(machine.file_opens["C:\\Cache\\One.dll"], 1);

    // Another spelling of the same path is the same entry.
    machine.add_file("c:/cache/one.dll", std::string_view("junk"), 100);
    EXPECT_EQ(pe_fingerprint("c:/cache/one.dll", facts).status, "parsed");
    EXPECT_EQ(machine.file_opens["c:/cache/one.dll"], 0);

    FileFacts touched = facts;
    touched.lastWriteTime = 101;
    EXPECT_EQ(pe_fingerprint("C:\\Cache\\One.dll", touched).status, "parsed");
    EXPECT_EQ(machine.file_opens["C:\\Cache\\One.dll"], 2);
}

TEST_F(PeFileTest, CacheKeepsFailuresButNotUnfoundFacts) {
    machine.add_file("C:\\Cache\\notpe.exe", std::string_view("plain text"), 5);
    FileFacts facts = machine.file_facts("C:\\Cache\\notpe.exe");
    EXPECT_EQ(pe_fingerprint("C:\\Cache\\notpe.exe", facts).status, "not_pe");
    machine.files["C:\\Cache\\notpe.exe"].bytes = simple_dll().build();  // same facts: still the cached answer
    EXPECT_EQ(pe_fingerprint("C:\\Cache\\notpe.exe", facts).status, "not_pe");
    EXPECT_EQ(machine.file_opens["C:\\Cache\\notpe.exe"], 1);

    machine.add_file("C:\\Cache\\gone.dll", simple_dll().build());
    EXPECT_EQ(pe_fingerprint("C:\\Cache\\gone.dll", FileFacts{}).status, "parsed");
    EXPECT_EQ(pe_fingerprint("C:\\Cache\\gone.dll", FileFacts{}).status, "parsed");
    EXPECT_EQ(machine.file_opens["C:\\Cache\\gone.dll"], 2);
}

}  // namespace
}  // namespace ac
