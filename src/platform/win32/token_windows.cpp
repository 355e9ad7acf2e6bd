// Token user and integrity level of a process; top-level windows.
#include <exception>
#include <vector>

#include "platform/win32/win32_system.hpp"

namespace ac::win32 {
namespace {

// The two-call read: size first, then a zero-filled buffer of that size.
std::vector<uint8_t> token_information(HANDLE token, TOKEN_INFORMATION_CLASS what) {
    DWORD size = 0;
    GetTokenInformation(token, what, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<uint8_t> buffer(size, 0);
    if (!GetTokenInformation(token, what, buffer.data(), size, &size)) return {};
    return buffer;
}

constexpr DWORD kAccountChars = 256;

class Win32WindowRef final : public WindowRef {
public:
    explicit Win32WindowRef(HWND hwnd) : hwnd_(hwnd) {}
    uint32_t owner_pid() override {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd_, &pid);
        return pid;
    }
    bool visible() override { return IsWindowVisible(hwnd_) != FALSE; }
    std::string title() override {
        char buffer[512] = {};
        int n = GetWindowTextA(hwnd_, buffer, 511);
        return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    }

private:
    HWND hwnd_;
};

struct Enumeration {
    const std::function<bool(WindowRef&)>* callback;
    std::exception_ptr failure;  // an exception may not cross user32's frames
};

BOOL CALLBACK on_window(HWND hwnd, LPARAM context) {
    auto* state = reinterpret_cast<Enumeration*>(context);
    try {
        Win32WindowRef ref(hwnd);
        return (*state->callback)(ref) ? TRUE : FALSE;
    } catch (...) {
        state->failure = std::current_exception();
        return FALSE;
    }
}

}  // namespace

TokenIdentity Win32System::token_identity(uint32_t pid) {
    TokenIdentity out;
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return out;
    HANDLE raw_token = nullptr;
    if (!OpenProcessToken(process.get(), TOKEN_QUERY, &raw_token)) return out;
    UniqueHandle token(raw_token);

    std::vector<uint8_t> user = token_information(token.get(), TokenUser);
    if (!user.empty()) {
        auto* info = reinterpret_cast<TOKEN_USER*>(user.data());
        char name[kAccountChars] = {};
        char domain[kAccountChars] = {};
        DWORD name_size = kAccountChars, domain_size = kAccountChars;
        SID_NAME_USE use;
        if (LookupAccountSidA(nullptr, info->User.Sid, name, &name_size, domain, &domain_size, &use))
            out.account = field_text(domain) + "\\" + field_text(name);
    }

    std::vector<uint8_t> label = token_information(token.get(), TokenIntegrityLevel);
    if (!label.empty()) {
        PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label.data())->Label.Sid;
        if (sid && IsValidSid(sid)) {
            UCHAR count = *GetSidSubAuthorityCount(sid);
            if (count > 0) out.integrity_rid = *GetSidSubAuthority(sid, count - 1);
        }
    }
    return out;
}

void Win32System::enum_windows(const std::function<bool(WindowRef&)>& callback) {
    Enumeration state{&callback, nullptr};
    EnumWindows(on_window, reinterpret_cast<LPARAM>(&state));
    if (state.failure) std::rethrow_exception(state.failure);
}

}  // namespace ac::win32
