// Runs the evidence and trust calls from a folder where copies of version.dll,
// wintrust.dll and crypt32.dll wait beside it (the Windows tests place them).
// With "--bare" it instead loads crypt32.dll by its bare name, the way a
// planted copy gets in, so that the test can see the plant would be caught.
#include <cstdio>
#include <cstring>

#include "evidence/digest.hpp"
#include "evidence/signature.hpp"
#include "platform/system.hpp"
#include "reports/fields.hpp"
#include "reports/write_handle_report.hpp"

#include <windows.h>

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--bare") == 0) return LoadLibraryW(L"crypt32.dll") ? 0 : 3;

    char self[MAX_PATH] = {};
    std::string exe(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    std::string kernel32 = ac::native_system().system_directory_raw().value_or("") + "\\kernel32.dll";
    std::string md5 = ac::file_md5(exe, ac::get_file_facts(exe));
    std::string version = ac::read_version_string(kernel32, "FileVersion");
    ac::SignatureInfo own = ac::verify_signature(exe), system = ac::verify_signature(kernel32);
    std::printf("md5=%s version=%s own=%s system=%s\n", md5.c_str(), version.c_str(), own.status.c_str(),
                system.status.c_str());
    // The calls must have worked, not merely failed to load anything.
    return md5.size() == 32 && !version.empty() && own.status == ac::word::sig_unsigned ? 0 : 1;
}
