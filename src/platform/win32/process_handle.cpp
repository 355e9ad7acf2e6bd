// Process handles and what is read through them: exit code, image path,
// memory regions and memory contents.
#include <algorithm>
#include <vector>

#include "platform/win32/win32_system.hpp"

namespace ac::win32 {
namespace {

static_assert(sizeof(MEMORY_BASIC_INFORMATION) == 48, "VirtualQueryEx must fill the 64-bit layout");

// The first buffer is 1,040 characters; a path that does not fit (Windows
// paths reach 32,767 characters) is asked for again with a larger one, so a
// deep folder cannot hide an image.
constexpr DWORD kImagePathChars = 1040;
constexpr DWORD kImagePathLimit = 32768;

class Win32ProcessHandle final : public ProcessHandle {
public:
    explicit Win32ProcessHandle(UniqueHandle h) : handle_(std::move(h)) {}

    uint64_t value() const override { return reinterpret_cast<uintptr_t>(handle_.get()); }

    std::optional<uint32_t> exit_code() override {
        DWORD code = 0;
        if (!GetExitCodeProcess(handle_.get(), &code)) return std::nullopt;
        return code;
    }

    std::optional<std::string> image_path() override {
        for (DWORD capacity = kImagePathChars;;) {
            std::vector<char> buffer(capacity, '\0');
            DWORD size = capacity;
            if (QueryFullProcessImageNameA(handle_.get(), 0, buffer.data(), &size))
                return std::string(buffer.data(), std::min(size, capacity));
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || capacity == kImagePathLimit) return std::nullopt;
            capacity = std::min(capacity * 2, kImagePathLimit);
        }
    }

    std::optional<MemoryRegion> query_region(uint64_t address) override {
        MEMORY_BASIC_INFORMATION mbi = {};
        SIZE_T got = VirtualQueryEx(handle_.get(), reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(address)),
                                    &mbi, sizeof(mbi));
        if (got != sizeof(mbi)) return std::nullopt;
        MemoryRegion region;
        region.base = reinterpret_cast<uintptr_t>(mbi.BaseAddress);
        region.allocation_base = reinterpret_cast<uintptr_t>(mbi.AllocationBase);
        region.allocation_protect = mbi.AllocationProtect;
        region.size = mbi.RegionSize;
        region.state = mbi.State;
        region.protect = mbi.Protect;
        region.type = mbi.Type;
        return region;
    }

    ReadResult read_memory(uint64_t address, void* buffer, size_t size) override {
        SIZE_T copied = 0;
        BOOL ok = ReadProcessMemory(handle_.get(), reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(address)),
                                    buffer, size, &copied);
        return {ok != FALSE, static_cast<size_t>(copied)};
    }

private:
    UniqueHandle handle_;
};

}  // namespace

std::unique_ptr<ProcessHandle> Win32System::open_process(uint32_t pid, uint32_t access) {
    // Owned before the allocation below, which could throw.
    UniqueHandle h(OpenProcess(access, FALSE, pid));
    if (!h) return nullptr;
    return std::make_unique<Win32ProcessHandle>(std::move(h));
}

}  // namespace ac::win32
