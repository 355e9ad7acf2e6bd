// The signature decision chain on a scripted trust provider.
#include <gtest/gtest.h>

#include "evidence/signature.hpp"
#include "fake_system.hpp"

namespace ac {
namespace {

using Calls = std::vector<std::string>;
const Calls kAllPasses = {"embedded", "catalog:SHA256", "catalog:SHA1", "catalog", "legacy"};
constexpr int32_t kBadDigest = static_cast<int32_t>(0x80096010u);

SignerCertificate signer(std::u16string s, std::u16string i, std::vector<uint8_t> t = {0xAB}) { return {true, s, i, t}; }
std::string row(const SignatureInfo& i) {  // " ms": trusted as the system maker's
    return i.status + " " + i.source + " " + i.publisher + "|" + i.issuer + "|" + i.signerThumbprint +
           (i.trustedMicrosoft ? " ms" : "");
}

struct SignatureTest : ::testing::Test {
    test::FakeMachine machine;
    ScopedSystemOverride use{machine};

    std::string verify(const char* path = "C:\\a.dll") { return row(verify_signature(path)); }
    void embedded(int32_t r, SignerCertificate c = {}) {
        machine.on_trust_embedded = [=](auto&) { return EmbeddedTrust{r, c}; };
    }
    std::string verify(int32_t r, SignerCertificate c = {}) { return embedded(r, c), verify(); }
    void catalog_verifies(std::u16string which, SignerCertificate c) {  // u"SHA256", u"SHA1", u"" or u"legacy"
        machine.on_trust_catalog = [=](auto&, auto* a) { return CatalogTrust{(a ? *a : u"") == which, c}; };
        machine.on_trust_catalog_legacy = [=](auto&) { return CatalogTrust{which == u"legacy", c}; };
    }
};

TEST_F(SignatureTest, EmbeddedFirstThenEachCatalogInOrder) {
    EXPECT_EQ(verify("") + "," + verify(), "unavailable none ||,unsigned none ||");
    EXPECT_EQ(std::exchange(machine.trust_calls, {}), kAllPasses);  // none of them for the empty path
    for (size_t passes = 1; auto [which, source] : {std::pair{u"SHA256", "catalog:SHA256"}, {u"SHA1", "catalog:SHA1"},
                                                    {u"", "catalog"}, {u"legacy", "catalog:legacy"}}) {
        catalog_verifies(which, signer(u"Microsoft Windows", u"PCA"));
        EXPECT_EQ(verify(), "valid " + std::string(source) + " Microsoft Windows|PCA|ab ms");
        EXPECT_EQ(std::exchange(machine.trust_calls, {}), Calls(kAllPasses.begin(), kAllPasses.begin() + ++passes));
    }
    EXPECT_EQ(verify(0, signer(u"Contoso Ltd", u"Contoso CA \u00e9", {0xDE, 0xAD, 0xBE, 0xEF})),
              "valid embedded Contoso Ltd|Contoso CA \xc3\xa9|deadbeef");
}

TEST_F(SignatureTest, AnUnknownProviderIsAFailureLikeAnyOtherOnlyASystemWithoutOneVerifiesNothing) {
    constexpr int32_t kUnknown = win::TRUST_E_PROVIDER_UNKNOWN;
    EXPECT_EQ(verify(kUnknown) + "," + verify(kUnknown, signer(u"Someone", u"CA")),
              "invalid none ||,invalid embedded Someone|CA|ab");
    EXPECT_EQ(machine.trust_calls.size(), 2 * kAllPasses.size());  // every catalog tried, both times
    catalog_verifies(u"SHA1", signer(u"Microsoft Windows", u"PCA"));
    EXPECT_EQ(verify(), "valid catalog:SHA1 Microsoft Windows|PCA|ab ms");

    machine.has_trust_provider = false, machine.trust_calls.clear();  // the Linux stand-in
    EXPECT_EQ(verify(), "unavailable none ||");
    EXPECT_EQ(machine.trust_calls, Calls{});
}

TEST_F(SignatureTest, CacheWhileTheFileIsUnchangedThenSignerFieldsAndSystemMakerTrust) {
    embedded(0, signer(u"Contoso", u"CA"));
    EXPECT_EQ(signature_info("C:\\Sig\\A.dll", FileFacts{true, 100, 7}).status, "valid");
    embedded(win::TRUST_E_NOSIGNATURE);
    EXPECT_EQ(signature_info("c:/sig/a.dll", FileFacts{true, 100, 7}).status, "valid");  // another spelling, one entry
    EXPECT_EQ(signature_info("C:\\Sig\\A.dll", FileFacts{true, 100, 8}).status, "unsigned");
    for (int i = 0; i < 2; ++i) signature_info("C:\\Sig\\B.dll", FileFacts{});  // unfound facts: never cached
    EXPECT_EQ(std::count(machine.trust_calls.begin(), machine.trust_calls.end(), "embedded"), 1 + 1 + 2);

    // A verdict reached while the file could not be opened is asked again; once it opens, it is kept.
    machine.trust_calls.clear();
    embedded(static_cast<int32_t>(0x80070020u));  // a sharing violation
    const FileFacts locked{true, 5, 9};
    for (int i = 0; i < 2; ++i) EXPECT_EQ(signature_info("C:\\Sig\\Locked.dll", locked).status, "invalid");
    machine.add_file("C:\\Sig\\Locked.dll", "12345");
    for (int i = 0; i < 2; ++i) signature_info("C:\\Sig\\Locked.dll", locked);
    EXPECT_EQ(std::count(machine.trust_calls.begin(), machine.trust_calls.end(), "embedded"), 3);

    EXPECT_EQ(verify(kBadDigest) + "," + verify(kBadDigest, signer(u"Microsoft Corporation", u"Fake CA")),
              "invalid none ||,invalid embedded Microsoft Corporation|Fake CA|ab");  // the name, not the signature
    EXPECT_EQ((catalog_verifies(u"SHA1", {}), verify()), "valid catalog:SHA1 ||");  // an unreadable signer: nothing
    EXPECT_EQ(verify(0, signer(u"MICROSOFT Corporation", u"CA")), "valid embedded MICROSOFT Corporation|CA|ab ms");
    EXPECT_EQ(verify(0, signer(u"Contoso", u"microsoft WINDOWS Production PCA 2011")),
              "valid embedded Contoso|microsoft WINDOWS Production PCA 2011|ab ms");
}

}  // namespace
}  // namespace ac
