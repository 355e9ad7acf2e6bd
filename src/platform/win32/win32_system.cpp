#include <initializer_list>

#include "platform/win32/win32_system.hpp"

namespace ac::win32 {

// The system DLLs the module looks up at run time are loaded from the system
// directory before anything else asks for them by bare name: CryptoAPI's
// provider, for one, imports crypt32 through the default search order, and an
// import binds to a module of that name that is already loaded.
Win32System::Win32System() {
    for (const wchar_t* name : {L"crypt32.dll", L"wintrust.dll", L"version.dll"}) load_system_library(name);
}

}  // namespace ac::win32

namespace ac {

System& native_system() {
    static win32::Win32System instance;
    return instance;
}

}  // namespace ac
