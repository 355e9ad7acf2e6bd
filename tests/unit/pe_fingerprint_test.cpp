// The PE reader on synthetic files: where it stops, what it digests, the canonical imports text and the cache.
#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>

#include "evidence/digest.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "fake_system.hpp"
#include "support/pe_builder.hpp"

namespace ac {
namespace {

using namespace test;

using Bytes = std::vector<uint8_t>;
Bytes filled(size_t n, uint8_t seed) { Bytes v(n); return std::iota(v.begin(), v.end(), seed), v; }  // shifts show
template <class Bytes> std::string md5_of(const Bytes& b) { return buffer_md5(b.data(), b.size()); }
PeFingerprint parse(const std::vector<uint8_t>& bytes) { return parse_pe_fingerprint(bytes); }

PeBuilder simple_dll(bool pe32_plus = true) {
    PeBuilder b;
    b.pe32_plus = pe32_plus, b.machine = pe32_plus ? 0x8664 : 0x14C, b.entry_point = 0x1234;
    return std::move(b.add_section(".text", filled(512, 1)));
}
PeFingerprint parse_with(auto change, bool p = true) { auto b = simple_dll(p); return change(b), parse(b.build()); }
std::string head(const PeFingerprint& fp) {  // what a stop still reports
    char t[96];
    std::snprintf(t, sizeof t, "%s %x %u %x", fp.status.c_str(), fp.machine, fp.sectionCount, fp.entryPoint);
    return t;
}

TEST(PeFingerprint, StopsAtEachStructureThenLayoutCodeSectionImportsAndTheFileCache) {
    std::vector<uint8_t> small(63, 0);
    small[0] = 'M', small[1] = 'Z';
    EXPECT_EQ(head(parse(small)) + " " + std::to_string(parse(small).fileSize), "not_pe 0 0 0 63");
    EXPECT_EQ(head(parse_with([](auto& b) { b.e_lfanew = 0xFFFFFFF0u; })), "bad_pe_header 0 0 0");  // p + 24 wraps
    EXPECT_EQ(head(parse_with([](auto& b) { b.size_of_optional_header = 0xFFFF; })), "bad_optional_header 8664 1 0");
    EXPECT_EQ(head(parse_with([](auto& b) { b.magic = 0x107; }, false)), "unsupported_optional_header 14c 1 0");
    auto bytes = simple_dll().build();
    bytes.resize(simple_dll().section_table_offset() + 39);
    EXPECT_EQ(head(parse(bytes)) + parse(bytes).sectionLayout, "bad_section_table 8664 1 1234");

    PeBuilder b;
    b.add_section(".text", filled(512, 3)).sections.back().virtual_size = 4096;
    b.add_section(".rdata", filled(200, 5), 0x40).add_section(".data", filled(1024, 9), 0xC0000040);
    PeFingerprint fp = parse(b.build());
    EXPECT_EQ(head(fp), "parsed 8664 3 1000");
    EXPECT_EQ(fp.sectionLayout, ".text:4096:512:60000020;.rdata:200:512:00000040;.data:1024:1024:c0000040");
    EXPECT_EQ(fp.codeSectionName + " " + fp.codeMd5 + " " + fp.dataMd5 + fp.importMd5,  // no imports, no digest
              ".text " + md5_of(filled(512, 3)) + " " + md5_of(filled(1024, 9)));
    EXPECT_EQ(parse(PeBuilder{}.add_section(".TEXT", filled(512, 1), 0x40).build()).codeSectionName, ".TEXT");
    b = PeBuilder{};
    b.add_section(".text", {}).sections.back().virtual_size = 0x800;  // no raw data: no digest
    b.add_section(".data", filled(512, 2), 0xC0000040).add_section(".data", filled(512, 3), 0xC0000040);
    b.add_section("12345678", filled(512, 4)).add_section("MORE", filled(512, 6));  // eight bytes, no NUL
    fp = parse(b.build());  // the first code section with data, and a later namesake's data
    EXPECT_EQ(fp.codeSectionName + " " + fp.codeMd5 + " " + fp.dataMd5,
              "12345678 " + md5_of(filled(512, 4)) + " " + md5_of(filled(512, 3)));

    // Imports: the canonical text; descriptors that point nowhere; hostile counts and names.
    for (bool plus : {false, true})
        EXPECT_EQ(parse_with([](auto& b) {
            b.add_import("USER32.dll", {PeFunction::named("MessageBoxA")});
            b.add_import("KERNEL32.dll", {PeFunction::named("GetTickCount"), PeFunction::by_ordinal(65535),
                                          PeFunction::named("ExitProcess"), PeFunction::by_ordinal(5)});
            b.add_import("KERNEL32.dll", {PeFunction::named("Sleep")});  // a second descriptor stays
            b.imports.push_back({"empty.dll", {}, false, false, {}, {}});  // no thunk tables
            b.imports.push_back({"lost.dll", {PeFunction::named("B"), PeFunction::named("a")}, 1, 1, 0x7FFF0000, {}});
            b.imports.push_back({"thunks.dll", {PeFunction::named("Only\x7f\x01Thunk")}, false, true, {}, {}});
            b.imports.push_back({"nolookup.dll", {PeFunction::named("x")}, true, true, {}, 0x7FFF0000});
        }, plus).importMd5, md5_of(std::string_view(":a|b;empty.dll:;kernel32.dll:#5|#65535|exitprocess|gettickcount;"
                                                    "kernel32.dll:sleep;nolookup.dll:;thunks.dll:onlythunk;"
                                                    "user32.dll:messageboxa"))) << plus;

    std::string expected, names = "w.dll:#7";
    PeBuilder many = simple_dll();
    for (int i = 100; i < 230; ++i) many.add_import(std::to_string(i) + ".dll", {});
    for (int i = 100; i < 228; ++i) expected.append(i > 100 ? ";" : "").append(std::to_string(i)).append(".dll:");
    many.terminate_descriptors = false;
    EXPECT_EQ(parse(many.build()).importMd5, md5_of(expected));
    for (int i = 1; i < 512; ++i) names += "|#7";
    EXPECT_EQ(parse_with([](auto& b) { b.add_import("w.dll", std::vector(600, PeFunction::by_ordinal(7))); }).importMd5,
              md5_of(names));
    EXPECT_EQ(read_import_name(std::vector<uint8_t>(300, 'X'), 0), std::string(256, 'x'));
    EXPECT_EQ(read_import_name(std::vector<uint8_t>(300, 'X'), uint64_t{1} << 40), "");

    FakeMachine machine;  // files: read errors, and a cache that rereads only changed or unfound files
    ScopedSystemOverride use{machine};
    bytes = simple_dll().build();
    machine.add_file("C:\\pe\\bad.dll", bytes).read_error = true;
    fp = read_pe_fingerprint("C:\\pe\\bad.dll", FileFacts{true, 77, 1});
    EXPECT_EQ(fp.status + " " + std::to_string(fp.fileSize), "open_error 77");  // the size the facts gave
    const FileFacts bad{true, bytes.size(), fresh_time()};
    EXPECT_EQ(pe_fingerprint("C:\\pe\\bad.dll", bad).status, "open_error");
    machine.files["C:\\pe\\bad.dll"].read_error = false;  // the failure was not kept
    EXPECT_EQ(pe_fingerprint("C:\\pe\\bad.dll", bad).status, "parsed");
    EXPECT_EQ((pe_fingerprint("C:\\pe\\bad.dll", bad), machine.opens("C:\\pe\\bad.dll")), 3);

    FileFacts facts = machine.add_file("C:\\Cache\\One.dll", bytes, 100).facts;
    facts.size = 10;  // the size reported is what was read
    EXPECT_EQ(pe_fingerprint("C:\\Cache\\One.dll", facts).fileSize, bytes.size());
    machine.add_file("c:/cache/one.dll", std::string_view("junk"), 100);  // another spelling, the same entry
    EXPECT_EQ(pe_fingerprint("c:/cache/one.dll", facts).status, "parsed");  // not the junk
    facts.lastWriteTime = 101;
    EXPECT_EQ((pe_fingerprint("C:\\Cache\\One.dll", facts), machine.opens("C:\\Cache\\One.dll")), 2);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(pe_fingerprint("C:\\Cache\\One.dll", FileFacts{}).status, "parsed");
    EXPECT_EQ(machine.opens("C:\\Cache\\One.dll"), 4);
}

// A file of any length that holds `head` and then zeros, like a sparse file;
// it counts what is read, and may end early (a file that shrank meanwhile).
class SparseReader : public FileReader {
public:
    SparseReader(Bytes head, uint64_t length, uint64_t ends_at = ~uint64_t{0})
        : head_(std::move(head)), length_(length), ends_at_(std::min(ends_at, length)) {}
    uint64_t bytes_read = 0;
    std::optional<size_t> read(void* buffer, size_t size) override {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size, ends_at_ - std::min(position_, ends_at_)));
        auto* out = static_cast<uint8_t*>(buffer);
        for (size_t i = 0; i < n; ++i, ++position_) out[i] = position_ < head_.size() ? head_[position_] : 0;
        bytes_read += n;
        return n;
    }
    std::optional<uint64_t> size() override { return length_; }
    bool seek(uint64_t offset) override { return position_ = offset, true; }

private:
    Bytes head_;
    uint64_t length_, ends_at_, position_ = 0;
};

// The reader never holds the file: it reads headers, the chosen sections and the
// imports, refuses non-PE files after one page, and stops at the digest cap.
TEST(PeFingerprint, StreamsOnlyWhatTheFingerprintNeeds) {
    constexpr uint64_t kHuge = uint64_t{32} << 30;
    SparseReader zeros({}, kHuge);
    EXPECT_EQ(parse_pe_fingerprint(zeros, kHuge).status, "not_pe");
    EXPECT_LE(zeros.bytes_read, 65536u);

    PeBuilder far = simple_dll();
    far.add_import("kernel32.dll", {PeFunction::named("Sleep")});
    const Bytes image = far.build();
    const PeFingerprint near = parse(image);
    Bytes sparse_head = image;  // the same layout with .text's raw data 3.75 GiB into the file
    const uint64_t text_header = far.section_table_offset();
    const uint32_t pointer = 0xF0000000u;
    for (int i = 0; i < 4; ++i) sparse_head[text_header + 20 + i] = uint8_t(pointer >> (8 * i));
    SparseReader sparse(sparse_head, kHuge);
    const PeFingerprint fp = parse_pe_fingerprint(sparse, kHuge);
    EXPECT_EQ(fp.status + " " + fp.importMd5 + " " + fp.codeMd5, "parsed " + near.importMd5 + " " + md5_of(Bytes(512)));
    EXPECT_LE(sparse.bytes_read, 512u + 16 * 65536u);

    // Sections to digest above the cap: headers and layout, no digest, nothing large read.
    for (int i = 0; i < 4; ++i) sparse_head[text_header + 16 + i] = uint8_t(0xF0000000u >> (8 * i));  // SizeOfRawData
    SparseReader capped(sparse_head, kHuge);
    const PeFingerprint big = parse_pe_fingerprint(capped, kHuge);
    EXPECT_EQ(head(big) + " " + big.codeMd5 + big.importMd5, "too_large 8664 2 1234 ");
    EXPECT_NE(big.sectionLayout.find(":4026531840:"), std::string::npos) << big.sectionLayout;
    EXPECT_LE(capped.bytes_read, 16 * 65536u);

    // A file that ends before the length it announced is not read as a shorter file.
    SparseReader shrank(image, image.size(), image.size() - 1);
    EXPECT_EQ(parse_pe_fingerprint(shrank, image.size()).status, "open_error");
}

}  // namespace
}  // namespace ac
