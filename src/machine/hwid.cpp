#include "machine/hwid.hpp"

#include <cstdio>

#include "evidence/text.hpp"
#include "platform/system.hpp"

namespace ac {
namespace {
std::string hex_plain(uint32_t value) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%x", value);
    return buf;
}
}  // namespace

std::string get_hwid() {
    System& s = sys();
    if (auto serial = s.volume_serial_c()) {
        auto r = s.cpuid0();
        uint32_t combined = r[0] ^ r[1] ^ r[2] ^ r[3] ^ *serial;
        return hex_plain(combined) + "-" + hex_plain(*serial) + "-" + hex_plain(r[0]) + "-" + hex_plain(r[1]);
    }
    // When even the name cannot be read, "UNKNOWN" keeps the text's shape;
    // the process id in it already makes the fallback per-process.
    std::string name = s.computer_name().value_or("UNKNOWN");
    std::string id = "PC-" + name + "-" + std::to_string(s.current_pid());
    repair_utf8_text(id);  // the name is in the ANSI code page
    return id;
}

}  // namespace ac
