// File evidence under Wine: Authenticode verdicts on the signed fixtures, version strings, the COFF time stamp.
#include <gtest/gtest.h>

#include "evidence/signature.hpp"
#include "reports/fields.hpp"
#include "reports/write_handle_report.hpp"
#include "win_test_support.hpp"

#include <wincrypt.h>

namespace ac {

using wintest::fixture_path;

TEST(Signatures, UnsignedSignedMicrosoftNamedAndTampered) {
    EXPECT_EQ(verify_signature("").status, word::sig_unavailable);
    EXPECT_EQ(verify_signature(wintest::exe_dir() + "no_such_file.dll").status, word::sig_invalid);
    auto facts = wintest::signing_facts();
    if (facts.empty()) GTEST_SKIP() << "no signed fixtures (openssl or osslsigncode missing at build time)";
    // "valid" needs the throwaway root trusted: only a Wine prefix (a build directory) is changed for that.
    std::vector<uint8_t> root = wintest::read_file(fixture_path("root.der"));
    const bool trusted = wintest::running_under_wine() &&
                         CertAddEncodedCertificateToSystemStoreA("Root", root.data(), static_cast<DWORD>(root.size()));
    SignatureInfo p = verify_signature(fixture_path("fixture_module.dll"));
    EXPECT_EQ(std::tuple(p.status, p.source, p.publisher, p.issuer, p.signerThumbprint, p.trustedMicrosoft),
              std::tuple(word::sig_unsigned, word::source_none, "", "", "", false));

    wintest::ScratchDir dir("scratch_tampered");
    std::vector<uint8_t> bytes = wintest::read_file(fixture_path("fixture_ms_signed.dll"));
    const IMAGE_SECTION_HEADER* text = wintest::find_section(bytes.data(), ".text");
    ASSERT_NE(text, nullptr);
    bytes[text->PointerToRawData + 8] ^= 0x01;  // a tampered copy: one byte of signed code flipped
    wintest::write_file(dir.file("tampered.dll"), bytes);
    SignatureInfo tampered = verify_signature(dir.file("tampered.dll"));  // untrusted despite its signer's name
    EXPECT_EQ(std::tuple(tampered.status, tampered.trustedMicrosoft), std::tuple(word::sig_invalid, false));

    if (!trusted) GTEST_SKIP() << "fixture root not trusted here";
    SignatureInfo sig = verify_signature(fixture_path("fixture_leaf_signed.dll"));
    EXPECT_EQ(std::tuple(sig.status, sig.source, sig.publisher, sig.issuer, sig.signerThumbprint, sig.trustedMicrosoft),
              std::tuple(word::sig_valid, word::source_embedded, facts["publisher"], facts["root_subject"],
                         facts["thumbprint"], false));
    SignatureInfo ms = verify_signature(fixture_path("fixture_ms_signed.dll"));
    EXPECT_EQ(std::tuple(ms.status, ms.publisher, ms.signerThumbprint, ms.trustedMicrosoft),
              std::tuple(word::sig_valid, facts["ms_publisher"], facts["ms_thumbprint"], true));
}

TEST(FileEvidence, VersionStringsAndPeTimestamp) {
    std::string kernel32 = *native_system().system_directory_raw() + "\\kernel32.dll";
    std::vector<uint8_t> block(GetFileVersionInfoSizeA(kernel32.c_str(), nullptr));
    ASSERT_TRUE(GetFileVersionInfoA(kernel32.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    WORD* pair = nullptr;  // the first language and code page
    UINT length = 0; char *value = nullptr, key[64];
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pair), &length));
    std::snprintf(key, sizeof(key), "\\StringFileInfo\\%04x%04x\\FileVersion", pair[0], pair[1]);
    ASSERT_TRUE(VerQueryValueA(block.data(), key, reinterpret_cast<void**>(&value), &length) && length);
    EXPECT_EQ(read_version_string(kernel32, "FileVersion"), value);
    EXPECT_EQ(read_version_string(kernel32, "NoSuchValue"), "");
    EXPECT_EQ(read_version_string(fixture_path("fixture_module.dll"), "FileVersion"), "");  // no resource

    std::vector<uint8_t> pe = wintest::read_file(fixture_path("fixture_module.dll"));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(&pe[*reinterpret_cast<const LONG*>(&pe[60])]);
    EXPECT_EQ(read_pe_timestamp(fixture_path("fixture_module.dll")), std::to_string(nt->FileHeader.TimeDateStamp));
    wintest::ScratchDir dir("scratch_pe"); wintest::write_file(dir.file("not_pe.exe"), std::vector<uint8_t>(200, 'x'));
    EXPECT_EQ(read_pe_timestamp(dir.file("not_pe.exe")), "");
}

}  // namespace ac
