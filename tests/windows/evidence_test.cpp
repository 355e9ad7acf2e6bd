// File evidence under Wine: Authenticode verdicts on the signed fixtures,
// version strings and the COFF time stamp.
#include <gtest/gtest.h>

#include "evidence/signature.hpp"
#include "reports/fields.hpp"
#include "reports/write_handle_report.hpp"
#include "win_test_support.hpp"

#include <wincrypt.h>

namespace ac {
namespace {

using wintest::fixture_path;

class Signatures : public ::testing::Test {
protected:
    void SetUp() override {
        facts_ = wintest::signing_facts();
        if (facts_.empty()) GTEST_SKIP() << "no signed fixtures (openssl or osslsigncode missing at build time)";
    }

    // Verdicts of "valid" need the throwaway root trusted. Only a Wine prefix
    // (a directory of the build) is changed for that; a real machine's root
    // store is left alone and those cases skip.
    bool trust_fixture_root() {
        if (!wintest::running_under_wine()) return false;
        std::vector<uint8_t> der = wintest::read_file(fixture_path("root.der"));
        return !der.empty() &&
               CertAddEncodedCertificateToSystemStoreA("Root", der.data(), static_cast<DWORD>(der.size()));
    }

    std::map<std::string, std::string> facts_;
};

TEST_F(Signatures, UnsignedModuleIsUnsignedWithNoSigner) {
    SignatureInfo info = verify_signature(fixture_path("fixture_module.dll"));
    EXPECT_EQ(info.status, word::sig_unsigned);
    EXPECT_EQ(info.source, word::source_none);
    EXPECT_EQ(info.publisher, "");
    EXPECT_EQ(info.issuer, "");
    EXPECT_EQ(info.signerThumbprint, "");
    EXPECT_FALSE(info.trustedMicrosoft);
}

TEST_F(Signatures, SignedModuleNamesItsSigner) {
    if (!trust_fixture_root()) GTEST_SKIP() << "fixture root not trusted here";
    SignatureInfo info = verify_signature(fixture_path("fixture_leaf_signed.dll"));
    EXPECT_EQ(info.status, word::sig_valid);
    EXPECT_EQ(info.source, word::source_embedded);
    EXPECT_EQ(info.publisher, facts_["publisher"]);
    EXPECT_EQ(info.issuer, facts_["root_subject"]);
    EXPECT_EQ(info.signerThumbprint, facts_["thumbprint"]);
    EXPECT_FALSE(info.trustedMicrosoft);

    SignatureInfo ms = verify_signature(fixture_path("fixture_ms_signed.dll"));
    EXPECT_EQ(ms.status, word::sig_valid);
    EXPECT_EQ(ms.publisher, facts_["ms_publisher"]);
    EXPECT_EQ(ms.signerThumbprint, facts_["ms_thumbprint"]);
    EXPECT_TRUE(ms.trustedMicrosoft);
}

TEST_F(Signatures, ModuleChangedAfterSigningDoesNotVerify) {
    trust_fixture_root();
    wintest::ScratchDir dir("scratch_tampered");
    std::vector<uint8_t> bytes = wintest::read_file(fixture_path("fixture_ms_signed.dll"));
    ASSERT_FALSE(bytes.empty());
    const IMAGE_SECTION_HEADER* text = wintest::find_section(bytes.data(), ".text");
    ASSERT_NE(text, nullptr);
    bytes[text->PointerToRawData + 8] ^= 0x01;  // one byte of code, which the signature covers
    std::string path = dir.file("tampered.dll");
    wintest::write_file(path, bytes);

    SignatureInfo info = verify_signature(path);
    EXPECT_EQ(info.status, word::sig_invalid);
    EXPECT_FALSE(info.trustedMicrosoft);  // even though the signer's name says Microsoft
    if (wintest::running_under_wine()) {
        // Wine stops at the digest mismatch (TRUST_E_BAD_DIGEST) before it
        // records a signer, so nothing names one.
        EXPECT_EQ(info.source, word::source_none);
        EXPECT_EQ(info.publisher, "");
        EXPECT_EQ(info.signerThumbprint, "");
    } else {
        EXPECT_EQ(info.source, word::source_embedded);
        EXPECT_EQ(info.publisher, facts_["ms_publisher"]);
    }
}

TEST(SignatureWithoutFile, EmptyAndMissingPaths) {
    SignatureInfo empty = verify_signature("");
    EXPECT_EQ(empty.status, word::sig_unavailable);
    EXPECT_EQ(empty.source, word::source_none);
    // The provider cannot open it: a failure other than "no signature".
    SignatureInfo missing = verify_signature(wintest::exe_dir() + "no_such_file.dll");
    EXPECT_EQ(missing.status, word::sig_invalid);
    EXPECT_EQ(missing.source, word::source_none);
}

// The version resource read directly, for comparison.
std::string direct_version_string(const std::string& path, const char* name) {
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    if (!size) return "";
    std::vector<uint8_t> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return "";
    WORD* pair = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pair), &length))
        return "";
    std::string key = "\\StringFileInfo\\";
    char code[9];
    std::snprintf(code, sizeof(code), "%04x%04x", pair[0], pair[1]);
    key += std::string(code) + "\\" + name;
    char* value = nullptr;
    if (!VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || !length) return "";
    return std::string(value);
}

TEST(FileEvidence, VersionStringsOfASystemLibrary) {
    std::string kernel32 = *native_system().system_directory_raw() + "\\kernel32.dll";
    for (const char* name : {"FileVersion", "CompanyName", "ProductName", "OriginalFilename"}) {
        SCOPED_TRACE(name);
        std::string expected = direct_version_string(kernel32, name);
        EXPECT_EQ(read_version_string(kernel32, name), expected);
    }
    EXPECT_FALSE(read_version_string(kernel32, "FileVersion").empty());
    EXPECT_EQ(read_version_string(kernel32, "NoSuchValue"), "");
    EXPECT_EQ(read_version_string(fixture_path("fixture_module.dll"), "FileVersion"), "");  // no resource
    EXPECT_EQ(read_version_string("", "FileVersion"), "");
}

TEST(FileEvidence, PeTimestampEqualsTheLoadedHeader) {
    std::string path = fixture_path("fixture_module.dll");
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr);
    auto* base = reinterpret_cast<const uint8_t*>(module);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    EXPECT_EQ(read_pe_timestamp(path), std::to_string(nt->FileHeader.TimeDateStamp));
    FreeLibrary(module);

    wintest::ScratchDir dir("scratch_pe");
    wintest::write_file(dir.file("not_pe.exe"), std::vector<uint8_t>(200, 'x'));
    EXPECT_EQ(read_pe_timestamp(dir.file("not_pe.exe")), "");
    EXPECT_EQ(read_pe_timestamp(dir.file("missing.exe")), "");
}

}  // namespace
}  // namespace ac
