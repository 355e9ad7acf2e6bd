// Which processes the heavy sweep may pass over without digesting their image.
#include "checks/heavy_sweep_exemption.hpp"

#include <array>
#include <string>

#include "evidence/origin.hpp"

namespace ac {
namespace {

using Root = SystemRoot;

// Folders under the Windows and system directories that an ordinary user can
// write to (or create files in), as the public lists of application-control
// bypass folders name them. Anything below them counts too: a user who can
// write a folder can make subfolders. "temp" is here for completeness; its
// path is already "user_writable" and so never exempt.
constexpr std::array<WritableSystemFolder, 19> kUserWritableSystemFolders = {{
    {Root::windows, "tasks\\"},
    {Root::windows, "temp\\"},
    {Root::windows, "tracing\\"},
    {Root::windows, "registration\\crmlog\\"},
    {Root::windows, "debug\\wia\\"},
    {Root::windows, "pla\\reports\\"},
    {Root::windows, "pla\\rules\\"},
    {Root::windows, "pla\\templates\\"},
    {Root::windows, "syswow64\\com\\dmp\\"},
    {Root::windows, "syswow64\\fxstmp\\"},
    {Root::windows, "syswow64\\tasks\\"},
    {Root::system, "com\\dmp\\"},
    {Root::system, "fxstmp\\"},
    {Root::system, "microsoft\\crypto\\rsa\\machinekeys\\"},
    {Root::system, "spool\\drivers\\color\\"},
    {Root::system, "spool\\printers\\"},
    {Root::system, "spool\\servers\\"},
    {Root::system, "tasks\\"},
    {Root::system, "tasks_migrated\\"},
}};

bool in_writable_system_folder(std::string_view path) {
    const std::string windows = windows_directory();
    const std::string system = system_directory();
    for (const WritableSystemFolder& entry : kUserWritableSystemFolders) {
        const std::string& root = entry.root == Root::windows ? windows : system;
        if (root.empty()) continue;
        const std::string folder = root + std::string(entry.folder);
        // The folder itself may carry the file as an alternate data stream.
        const std::string_view name = std::string_view(folder).substr(0, folder.size() - 1);
        if (path.size() > name.size() && path.compare(0, name.size(), name) == 0 &&
            (path[name.size()] == '\\' || path[name.size()] == ':'))
            return true;
    }
    return false;
}

}  // namespace

std::span<const WritableSystemFolder> user_writable_system_folders() { return kUserWritableSystemFolders; }

// Only files that lie in the system or Windows directory are passed over:
// writing there needs administrator rights, and an ordinary machine runs most
// of its processes from there, so this keeps the first heavy sweep short (the
// digest and fingerprint caches make every later sweep cheap anyway).
// Never exempted: the folders of the table above, where any user can drop a
// renamed cheat; a file behind an alternate data stream name; program files,
// "other", user-writable and unknown origins; and an image whose attributes
// cannot be read, since a program that removed its own file from the system
// directory after starting is exactly what the sweep should look at. Names on
// the cheat and tool lists are never exempted either: the caller asks only
// for processes without a name flag.
bool heavy_sweep_exempt(std::string_view path, std::string_view origin, const FileFacts& facts) {
    if (!facts.found || !is_system_origin(origin)) return false;
    // "c:" is the drive; any later colon names a stream of some file or folder.
    if (path.find(':', 2) != std::string_view::npos) return false;
    return !in_writable_system_folder(path);
}

}  // namespace ac
