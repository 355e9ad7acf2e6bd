// The signature decision chain on a scripted trust provider.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "evidence/signature.hpp"
#include "fake_system.hpp"

namespace ac {
namespace {

using Calls = std::vector<std::string>;
constexpr int32_t kBadDigest = static_cast<int32_t>(0x80096010u);

SignerCertificate signer(std::u16string subject, std::u16string issuer, std::vector<uint8_t> sha1 = {0xAB, 0x01}) {
    return SignerCertificate{true, std::move(subject), std::move(issuer), std::move(sha1)};
}

class SignatureTest : public ::testing::Test {
protected:
    test::FakeMachine machine;
    ScopedSystemOverride use{machine};

    void embedded(int32_t result, SignerCertificate cert = {}) {
        machine.on_trust_embedded = [=](const std::u16string&) { return EmbeddedTrust{result, cert}; };
    }
    // The catalog pass that verifies: "SHA256", "SHA1", "" (default) or "legacy".
    void catalog_verifies(std::string which, SignerCertificate cert) {
        machine.on_trust_catalog = [=](const std::u16string&, const std::u16string* algorithm) {
            std::string name = algorithm ? std::string(algorithm->begin(), algorithm->end()) : "";
            return CatalogTrust{name == which, cert};
        };
        machine.on_trust_catalog_legacy = [=](const std::u16string&) { return CatalogTrust{which == "legacy", cert}; };
    }
};

TEST_F(SignatureTest, EmptyPathMakesNoTrustCall) {
    SignatureInfo info = verify_signature("");
    EXPECT_EQ(info.status, "unavailable");
    EXPECT_EQ(info.source, "none");
    EXPECT_FALSE(info.trustedMicrosoft);
    EXPECT_TRUE(machine.trust_calls.empty());
}

TEST_F(SignatureTest, NoTrustProviderMeansNothingWasVerified) {
    embedded(win::TRUST_E_PROVIDER_UNKNOWN, signer(u"Someone", u"CA"));
    SignatureInfo info = verify_signature("C:\\a.dll");
    EXPECT_EQ(info.status, "unavailable");
    EXPECT_EQ(info.source, "none");
    EXPECT_EQ(info.publisher, "");
    EXPECT_EQ(machine.trust_calls, Calls{"embedded"});
}

TEST_F(SignatureTest, ValidEmbeddedSignatureSkipsTheCatalogs) {
    embedded(0, signer(u"Contoso Ltd", u"Contoso CA \u00e9", {0xDE, 0xAD, 0xBE, 0xEF}));
    SignatureInfo info = verify_signature("C:\\a.dll");
    EXPECT_EQ(info.status, "valid");
    EXPECT_EQ(info.source, "embedded");
    EXPECT_EQ(info.publisher, "Contoso Ltd");
    EXPECT_EQ(info.issuer, "Contoso CA \xc3\xa9");
    EXPECT_EQ(info.signerThumbprint, "deadbeef");
    EXPECT_FALSE(info.trustedMicrosoft);
    EXPECT_EQ(machine.trust_calls, Calls{"embedded"});
}

TEST_F(SignatureTest, UnsignedTriesEveryCatalogInOrder) {
    SignatureInfo info = verify_signature("C:\\a.dll");
    EXPECT_EQ(info.status, "unsigned");
    EXPECT_EQ(info.source, "none");
    EXPECT_EQ(info.publisher + info.issuer + info.signerThumbprint, "");
    EXPECT_EQ(machine.trust_calls, (Calls{"embedded", "catalog:SHA256", "catalog:SHA1", "catalog", "legacy"}));
}

TEST_F(SignatureTest, FirstVerifyingCatalogGivesItsSourceAndSigner) {
    struct Row {
        std::string which, source;
        Calls calls;
    };
    for (const Row& row : {Row{"SHA256", "catalog:SHA256", {"embedded", "catalog:SHA256"}},
                           Row{"SHA1", "catalog:SHA1", {"embedded", "catalog:SHA256", "catalog:SHA1"}},
                           Row{"", "catalog", {"embedded", "catalog:SHA256", "catalog:SHA1", "catalog"}},
                           Row{"legacy", "catalog:legacy",
                               {"embedded", "catalog:SHA256", "catalog:SHA1", "catalog", "legacy"}}}) {
        machine.trust_calls.clear();
        catalog_verifies(row.which, signer(u"Microsoft Windows", u"Microsoft Windows Production PCA 2011"));
        SignatureInfo info = verify_signature("C:\\Windows\\System32\\a.dll");
        EXPECT_EQ(info.status, "valid") << row.which;
        EXPECT_EQ(info.source, row.source);
        EXPECT_EQ(info.publisher, "Microsoft Windows");
        EXPECT_TRUE(info.trustedMicrosoft);
        EXPECT_EQ(machine.trust_calls, row.calls);
    }
}

TEST_F(SignatureTest, InvalidEmbeddedKeepsItsSignerUnlessACatalogVerifies) {
    embedded(kBadDigest, signer(u"Microsoft Corporation", u"Fake CA"));
    SignatureInfo info = verify_signature("C:\\a.dll");
    EXPECT_EQ(info.status, "invalid");
    EXPECT_EQ(info.source, "embedded");
    EXPECT_EQ(info.publisher, "Microsoft Corporation");
    EXPECT_EQ(info.signerThumbprint, "ab01");
    EXPECT_FALSE(info.trustedMicrosoft);  // the phrase matches, the signature does not

    catalog_verifies("SHA256", signer(u"Contoso Ltd", u"Contoso CA", {0x10}));
    info = verify_signature("C:\\a.dll");
    EXPECT_EQ(info.status, "valid");
    EXPECT_EQ(info.source, "catalog:SHA256");
    EXPECT_EQ(info.publisher, "Contoso Ltd");
    EXPECT_EQ(info.issuer, "Contoso CA");
    EXPECT_EQ(info.signerThumbprint, "10");
    EXPECT_FALSE(info.trustedMicrosoft);

    // A catalog whose signer cannot be read does not inherit the failed signature's names.
    catalog_verifies("SHA1", SignerCertificate{});
    info = verify_signature("C:\\a.dll");
    EXPECT_EQ(info.status, "valid");
    EXPECT_EQ(info.publisher + info.issuer + info.signerThumbprint, "");
    EXPECT_FALSE(info.trustedMicrosoft);
}

TEST_F(SignatureTest, InvalidWithoutSignerFieldsHasNoSource) {
    embedded(kBadDigest);
    EXPECT_EQ(verify_signature("C:\\a.dll").source, "none");
    embedded(kBadDigest, signer(u"", u"", {}));  // reached but unreadable
    EXPECT_EQ(verify_signature("C:\\a.dll").source, "none");
    embedded(kBadDigest, signer(u"", u"", {0x01}));  // the thumbprint alone names a signer
    SignatureInfo info = verify_signature("C:\\a.dll");
    EXPECT_EQ(info.status, "invalid");
    EXPECT_EQ(info.source, "embedded");
}

TEST_F(SignatureTest, MicrosoftTrustByPublisherOrIssuerInAnyCase) {
    embedded(0, signer(u"MICROSOFT Corporation", u"Some CA"));
    EXPECT_TRUE(verify_signature("C:\\a.dll").trustedMicrosoft);
    embedded(0, signer(u"Contoso", u"Microsoft Code Signing PCA 2011"));
    EXPECT_TRUE(verify_signature("C:\\a.dll").trustedMicrosoft);
    embedded(0, signer(u"Microsoft Corp", u"Microsoft Root"));
    EXPECT_FALSE(verify_signature("C:\\a.dll").trustedMicrosoft);
    embedded(0, signer(u"", u""));
    EXPECT_FALSE(verify_signature("C:\\a.dll").trustedMicrosoft);
    embedded(win::TRUST_E_NOSIGNATURE, signer(u"Microsoft Windows", u""));
    EXPECT_FALSE(verify_signature("C:\\a.dll").trustedMicrosoft);

    SignatureInfo named;
    named.issuer = "microsoft windows production pca";
    EXPECT_TRUE(is_microsoft_signer(named));
}

TEST_F(SignatureTest, CacheAnswersWhileTheFileIsUnchanged) {
    embedded(0, signer(u"Contoso", u"CA"));
    FileFacts facts{true, 100, 7};
    EXPECT_EQ(signature_info("C:\\Sig\\A.dll", facts).status, "valid");
    embedded(win::TRUST_E_NOSIGNATURE);
    EXPECT_EQ(signature_info("c:/sig/a.dll", facts).status, "valid");
    EXPECT_EQ(machine.trust_calls, Calls{"embedded"});

    facts.lastWriteTime = 8;
    EXPECT_EQ(signature_info("C:\\Sig\\A.dll", facts).status, "unsigned");
    machine.trust_calls.clear();
    signature_info("C:\\Sig\\B.dll", FileFacts{});
    signature_info("C:\\Sig\\B.dll", FileFacts{});
    EXPECT_EQ(std::count(machine.trust_calls.begin(), machine.trust_calls.end(), "embedded"), 2);
}

}  // namespace
}  // namespace ac
