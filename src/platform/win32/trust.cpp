// Authenticode through wintrust and crypt32: the embedded signature, and the
// system catalogs through the newer and the older catalog interfaces. Each
// verify call is paired with a close call on the same trust data.

#include <vector>

#include "platform/win32/win32_system.hpp"  // <windows.h> first: the headers below build on it

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>

namespace ac::win32 {
namespace {

// The documented layouts; the SDK headers here predate their last fields
// (pSignatureSettings, hCatAdmin).
struct TrustData {
    DWORD cbStruct;
    LPVOID pPolicyCallbackData;
    LPVOID pSIPClientData;
    DWORD dwUIChoice;
    DWORD fdwRevocationChecks;
    DWORD dwUnionChoice;
    void* pChoice;  // WINTRUST_FILE_INFO* or CatalogMember*
    DWORD dwStateAction;
    HANDLE hWVTStateData;
    WCHAR* pwszURLReference;
    DWORD dwProvFlags;
    DWORD dwUIContext;
    void* pSignatureSettings;
};
static_assert(sizeof(TrustData) == 88);
static_assert(offsetof(TrustData, hWVTStateData) == offsetof(WINTRUST_DATA, hWVTStateData));

struct CatalogMember {
    DWORD cbStruct;
    DWORD dwCatalogVersion;
    LPCWSTR pcwszCatalogFilePath;
    LPCWSTR pcwszMemberTag;
    LPCWSTR pcwszMemberFilePath;
    HANDLE hMemberFile;
    BYTE* pbCalculatedFileHash;
    DWORD cbCalculatedFileHash;
    PCCTL_CONTEXT pcCatalogContext;
    HCATADMIN hCatAdmin;
};
static_assert(sizeof(CatalogMember) == 72);
static_assert(sizeof(WINTRUST_FILE_INFO) == 32);
static_assert(sizeof(CATALOG_INFO) == 524);

using AcquireContext2Fn = BOOL(WINAPI*)(HCATADMIN*, const GUID*, PCWSTR, PCCERT_STRONG_SIGN_PARA, DWORD);
using CalcHash2Fn = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

GUID verify_action() { return WINTRUST_ACTION_GENERIC_VERIFY_V2; }

// Silent, offline verification: no UI, no revocation, cache-only retrieval.
TrustData trust_request(DWORD choice, void* what) {
    TrustData data = {};
    data.cbStruct = sizeof(TrustData);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = choice;
    data.pChoice = what;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwUIContext = 0;
    return data;
}

LONG verify(TrustData& data) {
    GUID action = verify_action();
    return WinVerifyTrust(nullptr, &action, &data);
}

void close_state(TrustData& data) {
    GUID action = verify_action();
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(nullptr, &action, &data);
}

std::u16string certificate_name(PCCERT_CONTEXT cert, DWORD flags) {
    DWORD length = CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, nullptr, 0);
    if (length <= 1) return {};
    std::u16string name(length, u'\0');
    DWORD got = CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr,
                                   reinterpret_cast<LPWSTR>(name.data()), length);
    if (got <= 1) return {};
    name.resize(got - 1 < length ? got - 1 : length);
    // The name ends at its terminator, whatever the count said.
    if (size_t nul = name.find(u'\0'); nul != std::u16string::npos) name.resize(nul);
    return name;
}

std::vector<uint8_t> certificate_sha1(PCCERT_CONTEXT cert) {
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(cert, CERT_HASH_PROP_ID, nullptr, &size) || size == 0) return {};
    std::vector<uint8_t> bytes(size, 0);
    if (!CertGetCertificateContextProperty(cert, CERT_HASH_PROP_ID, bytes.data(), &size)) return {};
    bytes.resize(size);
    return bytes;
}

// From the trust state to the first signer's first certificate.
SignerCertificate read_signer(HANDLE state) {
    SignerCertificate out;
    if (!state) return out;
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(state);
    if (!provider) return out;
    CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (!signer) return out;
    CRYPT_PROVIDER_CERT* cert = WTHelperGetProvCertFromChain(signer, 0);
    if (!cert || !cert->pCert) return out;
    out.present = true;
    out.subject = certificate_name(cert->pCert, 0);
    out.issuer = certificate_name(cert->pCert, CERT_NAME_ISSUER_FLAG);
    out.sha1 = certificate_sha1(cert->pCert);
    return out;
}

UniqueHandle open_for_hash(const std::u16string& path) {
    HANDLE h = CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// Walks the catalogs that list the hash and verifies the file as a member of
// each until one verifies.
CatalogTrust search_catalogs(HCATADMIN admin, HANDLE file, const std::u16string& path, std::vector<BYTE>& hash) {
    CatalogTrust out;
    const std::u16string tag = catalog_member_tag(hash.data(), hash.size());
    HCATINFO catalog = nullptr;
    for (;;) {
        // Passing the previous context lets the call release it; so only the
        // context in hand when the walk stops early is released below.
        HCATINFO next = CryptCATAdminEnumCatalogFromHash(admin, hash.data(), static_cast<DWORD>(hash.size()), 0,
                                                         &catalog);
        catalog = next;
        if (!catalog) break;

        CATALOG_INFO info = {};
        info.cbStruct = sizeof(info);
        if (!CryptCATCatalogInfoFromContext(catalog, &info, 0)) continue;

        CatalogMember member = {};
        member.cbStruct = sizeof(member);
        member.dwCatalogVersion = 0;
        member.pcwszCatalogFilePath = info.wszCatalogFile;
        member.pcwszMemberTag = wide(tag);
        member.pcwszMemberFilePath = wide(path);
        member.hMemberFile = file;
        member.pbCalculatedFileHash = hash.data();
        member.cbCalculatedFileHash = static_cast<DWORD>(hash.size());
        member.pcCatalogContext = nullptr;
        member.hCatAdmin = admin;

        TrustData data = trust_request(WTD_CHOICE_CATALOG, &member);
        if (verify(data) == 0) {
            out.verified = true;
            out.signer = read_signer(data.hWVTStateData);
        }
        close_state(data);
        if (out.verified) break;
    }
    if (catalog) CryptCATAdminReleaseCatalogContext(admin, catalog, 0);
    return out;
}

class Library {
public:
    explicit Library(const wchar_t* name) : module_(LoadLibraryW(name)) {}
    ~Library() {
        if (module_) FreeLibrary(module_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

class CatalogAdmin {
public:
    CatalogAdmin() = default;
    ~CatalogAdmin() {
        if (admin_) CryptCATAdminReleaseContext(admin_, 0);
    }
    CatalogAdmin(const CatalogAdmin&) = delete;
    CatalogAdmin& operator=(const CatalogAdmin&) = delete;
    HCATADMIN* out() { return &admin_; }
    HCATADMIN get() const { return admin_; }

private:
    HCATADMIN admin_ = nullptr;
};

bool names_one_path(const std::u16string& path) { return path.find(u'\0') == std::u16string::npos; }

}  // namespace

std::u16string catalog_member_tag(const uint8_t* hash, size_t size) {
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    std::u16string tag(size * 2, u'0');
    for (size_t i = 0; i < size; ++i) {
        tag[2 * i] = digits[hash[i] >> 4];
        tag[2 * i + 1] = digits[hash[i] & 0xF];
    }
    return tag;
}

EmbeddedTrust Win32System::trust_embedded(const std::u16string& path) {
    // A NUL inside would make the provider check a different, shorter path.
    if (!names_one_path(path)) return {HRESULT_FROM_WIN32(ERROR_INVALID_NAME), {}};
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = wide(path);
    file.hFile = nullptr;
    file.pgKnownSubject = nullptr;

    TrustData data = trust_request(WTD_CHOICE_FILE, &file);
    EmbeddedTrust out;
    out.result = verify(data);
    out.signer = read_signer(data.hWVTStateData);
    close_state(data);
    return out;
}

CatalogTrust Win32System::trust_catalog(const std::u16string& path, const std::u16string* algorithm) {
    if (!names_one_path(path)) return {};
    Library wintrust(L"wintrust.dll");
    if (!wintrust.get()) return {};
    auto acquire = function_cast<AcquireContext2Fn>(GetProcAddress(wintrust.get(), "CryptCATAdminAcquireContext2"));
    auto calc_hash =
        function_cast<CalcHash2Fn>(GetProcAddress(wintrust.get(), "CryptCATAdminCalcHashFromFileHandle2"));
    if (!acquire || !calc_hash) return {};

    GUID subsystem = verify_action();
    CatalogAdmin admin;
    if (!acquire(admin.out(), &subsystem, algorithm ? wide(*algorithm) : nullptr, nullptr, 0)) return {};

    UniqueHandle file = open_for_hash(path);
    if (!file) return {};
    DWORD size = 0;
    if (!calc_hash(admin.get(), file.get(), &size, nullptr, 0) || size == 0) return {};
    std::vector<BYTE> hash(size, 0);
    SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
    if (!calc_hash(admin.get(), file.get(), &size, hash.data(), 0)) return {};
    hash.resize(size);

    return search_catalogs(admin.get(), file.get(), path, hash);
}

CatalogTrust Win32System::trust_catalog_legacy(const std::u16string& path) {
    if (!names_one_path(path)) return {};
    CatalogAdmin admin;  // acquired after the hash, released after the file is closed
    UniqueHandle file = open_for_hash(path);
    if (!file) return {};
    DWORD size = 0;
    if (!CryptCATAdminCalcHashFromFileHandle(file.get(), &size, nullptr, 0) || size == 0) return {};
    std::vector<BYTE> hash(size, 0);
    SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
    if (!CryptCATAdminCalcHashFromFileHandle(file.get(), &size, hash.data(), 0)) return {};
    hash.resize(size);

    GUID subsystem = verify_action();
    if (!CryptCATAdminAcquireContext(admin.out(), &subsystem, 0)) return {};
    return search_catalogs(admin.get(), file.get(), path, hash);
}

}  // namespace ac::win32
