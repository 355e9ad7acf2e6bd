#include "platform/win32/win32_system.hpp"

namespace ac {

System& native_system() {
    static win32::Win32System instance;
    return instance;
}

}  // namespace ac
