// Machine identity and telemetry: the root filesystem's id, the host name,
// CPUID, DRM in sysfs and the mains power supply.
#include <cpuid.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/linux/linux_adapter.hpp"
#include "platform/linux/posix_io.hpp"

namespace ac::lx {
namespace {

constexpr size_t kNetbiosNameChars = 15;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::optional<std::string> read_trimmed(const std::string& path) {
    auto text = read_file(path);
    if (!text) return std::nullopt;
    return std::string(trimmed(*text));
}

// The DRM cards ("card0", "card1", ...) in number order.
std::vector<std::string> drm_cards(const std::string& root) {
    std::vector<std::pair<uint64_t, std::string>> cards;
    UniqueFd dir = open_at(AT_FDCWD, root.c_str(), O_RDONLY | O_DIRECTORY);
    if (!dir) return {};
    for_each_entry(dir.get(), [&](std::string_view name) {
        if (name.substr(0, 4) != "card") return;
        if (auto n = parse_unsigned(name.substr(4))) cards.emplace_back(*n, std::string(name));
    });
    std::sort(cards.begin(), cards.end());
    std::vector<std::string> out;
    for (auto& [_, name] : cards) out.push_back(std::move(name));
    return out;
}

// The connected connectors of a card ("card0-HDMI-A-1", ...), by name.
std::vector<std::string> connected_connectors(const std::string& root, const std::string& card) {
    std::vector<std::string> out;
    UniqueFd dir = open_at(AT_FDCWD, root.c_str(), O_RDONLY | O_DIRECTORY);
    if (!dir) return out;
    std::string prefix = card + "-";
    for_each_entry(dir.get(), [&](std::string_view name) {
        if (name.substr(0, prefix.size()) != prefix) return;
        auto status = read_trimmed(root + "/" + std::string(name) + "/status");
        if (status && *status == "connected") out.emplace_back(name);
    });
    std::sort(out.begin(), out.end());
    return out;
}

// "1920x1080" (possibly followed by "i" for interlaced modes).
std::optional<DisplayMode> parse_mode(std::string_view line) {
    size_t x = line.find('x');
    if (x == std::string_view::npos) return std::nullopt;
    std::string_view height = line.substr(x + 1);
    size_t digits = 0;
    while (digits < height.size() && height[digits] >= '0' && height[digits] <= '9') ++digits;
    auto w = parse_unsigned(line.substr(0, x));
    auto h = parse_unsigned(height.substr(0, digits));
    if (!w || !h || *w > UINT32_MAX || *h > UINT32_MAX) return std::nullopt;
    return DisplayMode{static_cast<uint32_t>(*w), static_cast<uint32_t>(*h), 0};
}

// The card that drives a display, else the first card.
std::optional<std::string> primary_card(const std::string& root) {
    auto cards = drm_cards(root);
    for (auto& card : cards)
        if (!connected_connectors(root, card).empty()) return card;
    if (cards.empty()) return std::nullopt;
    return cards.front();
}

}  // namespace

std::optional<uint32_t> root_volume_serial() {
    struct statvfs vfs{};
    if (::statvfs("/", &vfs) != 0) return std::nullopt;
    uint64_t id = static_cast<uint64_t>(vfs.f_fsid);
    return static_cast<uint32_t>(id) ^ static_cast<uint32_t>(id >> 32);
}

std::optional<std::string> computer_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;
    std::string out(name);
    if (out.size() > kNetbiosNameChars) out.resize(kNetbiosNameChars);
    return out;
}

std::array<uint32_t, 4> cpuid0() {
    unsigned int a = 0, b = 0, c = 0, d = 0;
    __cpuid_count(0, 0, a, b, c, d);
    return {a, b, c, d};
}

std::optional<std::string> display_adapter(const std::string& drm_root) {
    auto card = primary_card(drm_root);
    if (!card) return std::nullopt;
    std::string device = drm_root + "/" + *card + "/device";
    auto driver = read_link_at(AT_FDCWD, (device + "/driver").c_str());
    std::string text = *card;
    if (driver) {
        size_t slash = driver->rfind('/');
        text = slash == std::string::npos ? *driver : driver->substr(slash + 1);
    }
    auto vendor = read_trimmed(device + "/vendor");
    auto product = read_trimmed(device + "/device");
    auto strip = [](std::string_view id) { return std::string(id.substr(0, 2) == "0x" ? id.substr(2) : id); };
    if (vendor && product && !vendor->empty() && !product->empty())
        text += " (PCI " + strip(*vendor) + ":" + strip(*product) + ")";
    return text;
}

std::optional<DisplayMode> display_mode(const std::string& drm_root) {
    for (auto& card : drm_cards(drm_root)) {
        for (auto& connector : connected_connectors(drm_root, card)) {
            auto modes = read_file(drm_root + "/" + connector + "/modes");
            if (!modes) continue;
            std::string_view first = *modes;
            first = first.substr(0, first.find('\n'));
            if (auto mode = parse_mode(trimmed(first))) return mode;
        }
    }
    return std::nullopt;
}

std::optional<uint8_t> ac_line_status(const std::string& power_root) {
    UniqueFd dir = open_at(AT_FDCWD, power_root.c_str(), O_RDONLY | O_DIRECTORY);
    if (!dir) return std::nullopt;
    std::optional<uint8_t> status;
    for_each_entry(dir.get(), [&](std::string_view name) {
        std::string supply = power_root + "/" + std::string(name);
        auto type = read_trimmed(supply + "/type");
        if (!type || *type != "Mains") return;
        auto online = read_trimmed(supply + "/online");
        if (!online || (*online != "1" && *online != "0")) return;
        // Any mains supply online means the machine runs on mains power.
        if (*online == "1" || !status) status = static_cast<uint8_t>(*online == "1" ? 1 : 0);
    });
    return status;
}

}  // namespace ac::lx
