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

// The wintrust and crypt32 entry points, from the system directory only,
// resolved once and kept for the life of the process (as import-linked
// libraries would be).
struct TrustApi {
    decltype(&::WinVerifyTrust) verify_trust = nullptr;
    decltype(&::WTHelperProvDataFromStateData) provider_data = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) signer_from_chain = nullptr;
    decltype(&::WTHelperGetProvCertFromChain) cert_from_chain = nullptr;
    decltype(&::CryptCATAdminAcquireContext) acquire_context = nullptr;
    decltype(&::CryptCATAdminCalcHashFromFileHandle) calc_hash = nullptr;
    decltype(&::CryptCATAdminEnumCatalogFromHash) enum_catalog = nullptr;
    decltype(&::CryptCATCatalogInfoFromContext) catalog_info = nullptr;
    decltype(&::CryptCATAdminReleaseCatalogContext) release_catalog = nullptr;
    decltype(&::CryptCATAdminReleaseContext) release_context = nullptr;
    decltype(&::CertGetNameStringW) name_string = nullptr;
    decltype(&::CertGetCertificateContextProperty) context_property = nullptr;
    bool complete = false;
};

const TrustApi& trust_api() {
    static const TrustApi api = [] {
        TrustApi a;
        HMODULE crypt32 = load_system_library(L"crypt32.dll");  // first: wintrust builds on it
        HMODULE wintrust = load_system_library(L"wintrust.dll");
        a.complete = resolve(wintrust, "WinVerifyTrust", a.verify_trust) &&
                     resolve(wintrust, "WTHelperProvDataFromStateData", a.provider_data) &&
                     resolve(wintrust, "WTHelperGetProvSignerFromChain", a.signer_from_chain) &&
                     resolve(wintrust, "WTHelperGetProvCertFromChain", a.cert_from_chain) &&
                     resolve(wintrust, "CryptCATAdminAcquireContext", a.acquire_context) &&
                     resolve(wintrust, "CryptCATAdminCalcHashFromFileHandle", a.calc_hash) &&
                     resolve(wintrust, "CryptCATAdminEnumCatalogFromHash", a.enum_catalog) &&
                     resolve(wintrust, "CryptCATCatalogInfoFromContext", a.catalog_info) &&
                     resolve(wintrust, "CryptCATAdminReleaseCatalogContext", a.release_catalog) &&
                     resolve(wintrust, "CryptCATAdminReleaseContext", a.release_context) &&
                     resolve(crypt32, "CertGetNameStringW", a.name_string) &&
                     resolve(crypt32, "CertGetCertificateContextProperty", a.context_property);
        return a;
    }();
    return api;
}

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
    return trust_api().verify_trust(nullptr, &action, &data);
}

void close_state(TrustData& data) {
    GUID action = verify_action();
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    trust_api().verify_trust(nullptr, &action, &data);
}

std::u16string certificate_name(PCCERT_CONTEXT cert, DWORD flags) {
    const TrustApi& api = trust_api();
    DWORD length = api.name_string(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, nullptr, 0);
    if (length <= 1) return {};
    std::u16string name(length, u'\0');
    DWORD got = api.name_string(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr,
                                   reinterpret_cast<LPWSTR>(name.data()), length);
    if (got <= 1) return {};
    name.resize(got - 1 < length ? got - 1 : length);
    // The name ends at its terminator, whatever the count said.
    if (size_t nul = name.find(u'\0'); nul != std::u16string::npos) name.resize(nul);
    return name;
}

std::vector<uint8_t> certificate_sha1(PCCERT_CONTEXT cert) {
    const TrustApi& api = trust_api();
    DWORD size = 0;
    if (!api.context_property(cert, CERT_HASH_PROP_ID, nullptr, &size) || size == 0) return {};
    std::vector<uint8_t> bytes(size, 0);
    if (!api.context_property(cert, CERT_HASH_PROP_ID, bytes.data(), &size)) return {};
    bytes.resize(size);
    return bytes;
}

// From the trust state to the first signer's first certificate.
SignerCertificate read_signer(HANDLE state) {
    SignerCertificate out;
    if (!state) return out;
    const TrustApi& api = trust_api();
    CRYPT_PROVIDER_DATA* provider = api.provider_data(state);
    if (!provider) return out;
    CRYPT_PROVIDER_SGNR* signer = api.signer_from_chain(provider, 0, FALSE, 0);
    if (!signer) return out;
    CRYPT_PROVIDER_CERT* cert = api.cert_from_chain(signer, 0);
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
    const TrustApi& api = trust_api();
    CatalogTrust out;
    const std::u16string tag = catalog_member_tag(hash.data(), hash.size());
    HCATINFO catalog = nullptr;
    for (;;) {
        // Passing the previous context lets the call release it; so only the
        // context in hand when the walk stops early is released below.
        HCATINFO next = api.enum_catalog(admin, hash.data(), static_cast<DWORD>(hash.size()), 0,
                                                         &catalog);
        catalog = next;
        if (!catalog) break;

        CATALOG_INFO info = {};
        info.cbStruct = sizeof(info);
        if (!api.catalog_info(catalog, &info, 0)) continue;

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
    if (catalog) api.release_catalog(admin, catalog, 0);
    return out;
}

class Library {
public:
    explicit Library(const wchar_t* name) : module_(load_system_library(name)) {}
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
        if (admin_) trust_api().release_context(admin_, 0);
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

bool Win32System::trust_provider_available() { return trust_api().complete; }

EmbeddedTrust Win32System::trust_embedded(const std::u16string& path) {
    if (!trust_api().complete) return {TRUST_E_PROVIDER_UNKNOWN, {}};
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
    if (!names_one_path(path) || !trust_api().complete) return {};
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
    if (!names_one_path(path) || !trust_api().complete) return {};
    const TrustApi& api = trust_api();
    CatalogAdmin admin;  // acquired after the hash, released after the file is closed
    UniqueHandle file = open_for_hash(path);
    if (!file) return {};
    DWORD size = 0;
    if (!api.calc_hash(file.get(), &size, nullptr, 0) || size == 0) return {};
    std::vector<BYTE> hash(size, 0);
    SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
    if (!api.calc_hash(file.get(), &size, hash.data(), 0)) return {};
    hash.resize(size);

    GUID subsystem = verify_action();
    if (!api.acquire_context(admin.out(), &subsystem, 0)) return {};
    return search_catalogs(admin.get(), file.get(), path, hash);
}

}  // namespace ac::win32
