// Text helpers, record order, scan levels and the embedded JSON form.
#include <gtest/gtest.h>

#include <vector>

#include "evidence/text.hpp"
#include "fake_system.hpp"
#include "machine/hwid.hpp"
#include "machine/system_info.hpp"
#include "reports/record.hpp"

namespace ac {
namespace {

std::vector<std::string> keys_of(const ReportRecord& r) {
    std::vector<std::string> out;
    for (auto& [k, _] : r) out.push_back(k);
    return out;
}

TEST(RecordOrder, ByteOrderWithPrefixFirstAndUppercaseBeforeLowercase) {
    ReportRecord r;
    for (const char* k : {"scanLevel", "processFound", "debuggerPresent", "protectRaw", "protect", "state",
                          "size", "sampleStatus", "sampleHex", "sampleBytes",
                          "externalWriteHandleProcessPid", "externalWriteHandleProcessPeTimestamp", "b", "Z",
                          "\xc3\xa9"})
        set_field(r, k, "");
    EXPECT_EQ(keys_of(r), (std::vector<std::string>{
                              "Z", "b", "debuggerPresent", "externalWriteHandleProcessPeTimestamp",
                              "externalWriteHandleProcessPid", "processFound", "protect", "protectRaw",
                              "sampleBytes", "sampleHex", "sampleStatus", "scanLevel", "size", "state",
                              "\xc3\xa9"}));
}

TEST(RecordOrder, SeedThenOverwriteKeepsOneKey) {
    ReportRecord r = seeded_record(kProcessRecordSeed);
    EXPECT_EQ(r.size(), 67u);
    set_field(r, proc_key::threadCount, "12");
    EXPECT_EQ(r.size(), 67u);
    EXPECT_EQ(get_field(r, proc_key::threadCount), "12");
    EXPECT_EQ(get_field(r, proc_key::toolProcessPath), "");
    EXPECT_EQ(get_field(r, proc_key::renderHookScanStatus), "module_metadata_only");
}

TEST(ScanLevel, ParsesCaseInsensitivelyAndNothingElse) {
    EXPECT_EQ(parse_scan_level("HEAVY"), ScanLevel::heavy);
    EXPECT_EQ(parse_scan_level("Heavy"), ScanLevel::heavy);
    EXPECT_EQ(parse_scan_level("CHEAP"), ScanLevel::cheap);
    EXPECT_EQ(parse_scan_level(" heavy"), ScanLevel::medium);
    EXPECT_EQ(parse_scan_level("heavy\n"), ScanLevel::medium);
    EXPECT_EQ(parse_scan_level(""), ScanLevel::medium);
    EXPECT_EQ(parse_scan_level(static_cast<const char*>(nullptr)), ScanLevel::medium);
    EXPECT_EQ(parse_scan_level("extreme"), ScanLevel::medium);
    EXPECT_EQ(scan_level_word(parse_scan_level("MEDIUM")), "medium");
}

TEST(Json, EscapesEveryByteClass) {
    EXPECT_EQ(json_escape("\t\"\\\x01"), "\\t\\\"\\\\\\u0001");
    EXPECT_EQ(json_escape("\x1f"), "\\u001f");
    EXPECT_EQ(json_escape("\n\r\x08\x0c"), "\\n\\r\\u0008\\u000c");
    EXPECT_EQ(json_escape("\x7f\xc3\xa9 ok"), "\x7f\xc3\xa9 ok");
}

TEST(Json, CompactRecordsInRecordOrder) {
    EXPECT_EQ(records_to_json({}), "[]");
    EXPECT_EQ(records_to_json({ReportRecord{}}), "[{}]");
    ReportRecord r{{"b", "x"}, {"a", "1"}};
    EXPECT_EQ(records_to_json({r}), R"([{"a":"1","b":"x"}])");
    EXPECT_EQ(records_to_json({r, ReportRecord{{"q", "\""}}}), R"([{"a":"1","b":"x"},{"q":"\""}])");
}

TEST(Text, PathsAndLists) {
    EXPECT_EQ(normalize_path("C:/Games/X\\A.DLL"), "c:\\games\\x\\a.dll");
    EXPECT_EQ(base_name("c:\\dir/"), "");
    EXPECT_EQ(base_name("plain.exe"), "plain.exe");
    EXPECT_EQ(base_name("a\\b/c\\d.dll"), "d.dll");
    EXPECT_EQ(base_name("a/b\\c/D.dll"), "D.dll");
    EXPECT_EQ(join_comma({}), "");
    EXPECT_EQ(join_comma({"one"}), "one");
    EXPECT_EQ(join_comma({"a", "", "b"}), "a,,b");
    EXPECT_EQ(to_lower("AbC\xc9"), "abc\xc9");  // "C" locale: high bytes unchanged
}

TEST(Text, HexForms) {
    EXPECT_EQ(hex_u32(31), "0x1F");
    EXPECT_EQ(hex_u32(0), "0x0");
    EXPECT_EQ(hex_u32(0xC0000004u), "0xC0000004");
    EXPECT_EQ(address_text(0x7FFE0000ABCull), "0x7ffe0000abc");
    EXPECT_EQ(address_text(0), "0x0");
    const uint8_t bytes[] = {0x00, 0x0f, 0xa0, 0xff};
    EXPECT_EQ(hex_lower(bytes, 4), "000fa0ff");
    EXPECT_EQ(hex_lower(bytes, 0), "");
}

TEST(Utf8Repair, KeepsValidReencodesAnsiAndFallsBackToQuestionMarks) {
    ReportRecord r{{"valid", "caf\xc3\xa9"},
                   {"lone_lead", "abc\xc3"},
                   {"cp1252", "Stra\xdf" "e \x80"},
                   {"overlong", "\xc0\x80"},        // "À€" in the ANSI code page
                   {"surrogate", "a\xed\xa0\x80"},
                   {"undefined", "x\x81y"},
                   {"empty", ""}};
    repair_utf8_values(r);
    EXPECT_EQ(r["valid"], "caf\xc3\xa9");
    EXPECT_EQ(r["lone_lead"], "abc\xc3\x83");            // U+00C3 from the ANSI code page
    EXPECT_EQ(r["cp1252"], "Stra\xc3\x9f" "e \xe2\x82\xac");  // sharp s and the euro sign
    EXPECT_EQ(r["overlong"], "\xc3\x80\xe2\x82\xac");
    EXPECT_EQ(r["surrogate"], "a\xc3\xad\xc2\xa0\xe2\x82\xac");
    EXPECT_EQ(r["empty"], "");
    for (auto& [k, v] : r) EXPECT_TRUE(is_valid_utf8(v)) << k;
}

// Each boundary of RFC 3629, one byte either side.
TEST(Utf8Repair, WellFormedBoundaries) {
    struct Case {
        std::string_view bytes;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"\x7f", true},
        {"\x80", false},                    // continuation byte as lead
        {"\xc0\x80", false},                // overlong NUL
        {"\xc1\xbf", false},                // overlong U+007F
        {"\xc2\x80", true},                 // U+0080
        {"\xdf\xbf", true},                 // U+07FF
        {"\xc3\x41", false},                // bad continuation
        {"\xc3", false},                    // cut short
        {"\xe0\x9f\xbf", false},            // overlong U+07FF
        {"\xe0\xa0\x80", true},             // U+0800
        {"\xed\x9f\xbf", true},             // U+D7FF
        {"\xed\xa0\x80", false},            // U+D800, a surrogate
        {"\xed\xbf\xbf", false},            // U+DFFF
        {"\xee\x80\x80", true},             // U+E000
        {"\xef\xbf\xbf", true},             // U+FFFF
        {"\xf0\x8f\xbf\xbf", false},        // overlong U+FFFF
        {"\xf0\x90\x80\x80", true},         // U+10000
        {"\xf0\x9f\x98\x80", true},
        {"\xf0\x9f\x98", false},
        {"\xf4\x8f\xbf\xbf", true},         // U+10FFFF
        {"\xf4\x90\x80\x80", false},        // U+110000
        {"\xf5\x80\x80\x80", false},
        {"\xf8\x80\x80\x80\x80", false},
        {"\xff", false},
        {"ok\xe2\x82\xac\xe2\x82", false},  // valid, then cut short
    };
    for (const Case& c : cases) EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
}

// Values the machine hands over outside any report record are repaired too.
TEST(Utf8Repair, MachineTextsAreDecodable) {
    test::FakeMachine m;
    m.name_of_computer = std::string("PC\xc0\x80");
    m.adapter = std::string("GPU \xed\xa0\x80");
    ScopedSystemOverride use(m);
    EXPECT_TRUE(is_valid_utf8(get_hwid()));
    EXPECT_EQ(get_system_info()[std::string(info_key::gpuName)], "GPU \xc3\xad\xc2\xa0\xe2\x82\xac");
}

}  // namespace
}  // namespace ac
