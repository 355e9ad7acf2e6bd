// Machine identity and support telemetry: volume serial, computer name,
// CPUID leaf 0, display adapter and mode, power source.
#ifdef _MSC_VER
#include <intrin.h>
#else
#include <cpuid.h>
#endif

#include "platform/win32/win32_system.hpp"

namespace ac::win32 {

std::optional<uint32_t> Win32System::volume_serial_c() {
    char volume_name[261] = {};
    char file_system[261] = {};
    DWORD serial = 0, max_component = 0, flags = 0;
    if (!GetVolumeInformationA("C:\\", volume_name, sizeof(volume_name), &serial, &max_component, &flags,
                               file_system, sizeof(file_system)))
        return std::nullopt;
    return serial;
}

std::optional<std::string> Win32System::computer_name() {
    char buffer[16] = {};
    DWORD size = sizeof(buffer);
    if (!GetComputerNameA(buffer, &size)) return std::nullopt;
    return std::string(buffer, size < sizeof(buffer) ? size : sizeof(buffer));
}

std::array<uint32_t, 4> Win32System::cpuid0() {
#ifdef _MSC_VER
    int regs[4] = {};
    __cpuidex(regs, 0, 0);
    return {uint32_t(regs[0]), uint32_t(regs[1]), uint32_t(regs[2]), uint32_t(regs[3])};
#else
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid_count(0, 0, a, b, c, d);
    return {a, b, c, d};
#endif
}

std::optional<std::string> Win32System::display_adapter() {
    DISPLAY_DEVICEA device = {};
    device.cb = sizeof(device);
    if (!EnumDisplayDevicesA(nullptr, 0, &device, 0)) return std::nullopt;
    return field_text(device.DeviceString);
}

std::optional<DisplayMode> Win32System::display_mode() {
    DEVMODEA mode;
    ZeroMemory(&mode, sizeof(mode));
    mode.dmSize = sizeof(mode);
    mode.dmDriverExtra = 0;
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return std::nullopt;
    return DisplayMode{mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency};
}

std::optional<uint8_t> Win32System::ac_line_status() {
    SYSTEM_POWER_STATUS status = {};
    if (!GetSystemPowerStatus(&status)) return std::nullopt;
    return status.ACLineStatus;
}

}  // namespace ac::win32
