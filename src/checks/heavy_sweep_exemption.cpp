#include "checks/heavy_sweep_exemption.hpp"
namespace ac {
bool heavy_sweep_exempt(std::string_view, const FileFacts&) { return false; }  // PLACEHOLDER
}
