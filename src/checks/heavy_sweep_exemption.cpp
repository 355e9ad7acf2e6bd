// Which processes the heavy sweep may pass over without digesting their image.
#include "checks/heavy_sweep_exemption.hpp"

#include "evidence/origin.hpp"

namespace ac {

// Only files that lie in the system or Windows directory are passed over:
// writing there needs administrator rights, and an ordinary machine runs most
// of its processes from there, so this keeps the first heavy sweep short (the
// digest and fingerprint caches make every later sweep cheap anyway).
// Never exempted: program files, "other", user-writable and unknown origins,
// where any user can drop a cheat; and an image whose attributes cannot be
// read, since a program that removed its own file from the system directory
// after starting is exactly what the sweep should look at. Names on the cheat
// and tool lists are never exempted either: the caller asks only for processes
// without a name flag.
bool heavy_sweep_exempt(std::string_view origin, const FileFacts& facts) {
    return facts.found && is_system_origin(origin);
}

}  // namespace ac
