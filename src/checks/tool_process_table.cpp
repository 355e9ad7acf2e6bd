// Tools that can read, change or observe a game, each with one category word
// (lowercase, parts joined with "-", like the default word "cheat-tool").
#include "checks/tool_process_table.hpp"

#include <string_view>
#include <unordered_map>
#include <utility>

namespace ac {
namespace {

using Entry = std::pair<std::string_view, std::string_view>;  // lowercase exe name, category

constexpr std::string_view kDebugger = "debugger";
constexpr std::string_view kDisassembler = "disassembler";
constexpr std::string_view kMemoryEditor = "memory-editor";
constexpr std::string_view kInjector = "injector";
constexpr std::string_view kPacketTool = "packet-tool";
constexpr std::string_view kProcessTool = "process-tool";
constexpr std::string_view kMacroTool = "macro-tool";

constexpr Entry kToolProcesses[] = {
    // user-mode debuggers
    {"x64dbg.exe", kDebugger}, {"x32dbg.exe", kDebugger}, {"x96dbg.exe", kDebugger},
    {"ollydbg.exe", kDebugger}, {"windbg.exe", kDebugger}, {"dbgx.shell.exe", kDebugger},
    {"immunitydebugger.exe", kDebugger}, {"gdb", kDebugger}, {"lldb", kDebugger}, {"edb", kDebugger},
    // disassemblers and decompilers
    {"ida.exe", kDisassembler}, {"ida64.exe", kDisassembler}, {"idaq.exe", kDisassembler},
    {"idaq64.exe", kDisassembler}, {"binaryninja.exe", kDisassembler}, {"cutter.exe", kDisassembler},
    {"radare2.exe", kDisassembler}, {"dnspy.exe", kDisassembler}, {"ilspy.exe", kDisassembler},
    // memory scanners and editors (the cheat list names them too; this gives their category)
    {"cheatengine.exe", kMemoryEditor}, {"cheat engine.exe", kMemoryEditor},
    {"cheatengine-i386.exe", kMemoryEditor}, {"cheatengine-x86_64.exe", kMemoryEditor},
    {"cheatengine-x86_64-sse4-avx2.exe", kMemoryEditor}, {"artmoney.exe", kMemoryEditor},
    {"artmoney64.exe", kMemoryEditor}, {"tsearch.exe", kMemoryEditor}, {"mhs.exe", kMemoryEditor},
    {"squalr.exe", kMemoryEditor}, {"scanmem", kMemoryEditor}, {"gameconqueror", kMemoryEditor},
    {"pince", kMemoryEditor},
    // DLL injectors
    {"xenos.exe", kInjector}, {"xenos64.exe", kInjector}, {"extreme injector v3.exe", kInjector},
    {"extreme injector.exe", kInjector}, {"injector.exe", kInjector}, {"injector64.exe", kInjector},
    // network capture and packet editing
    {"wireshark.exe", kPacketTool}, {"fiddler.exe", kPacketTool}, {"charles.exe", kPacketTool},
    {"wpe pro.exe", kPacketTool}, {"smsniff.exe", kPacketTool}, {"httpdebuggerui.exe", kPacketTool},
    // process explorers and API monitors
    {"processhacker.exe", kProcessTool}, {"systeminformer.exe", kProcessTool}, {"procexp.exe", kProcessTool},
    {"procexp64.exe", kProcessTool}, {"procmon.exe", kProcessTool}, {"procmon64.exe", kProcessTool},
    {"apimonitor-x64.exe", kProcessTool}, {"apimonitor-x86.exe", kProcessTool},
    // input automation
    {"autohotkey.exe", kMacroTool}, {"autohotkey64.exe", kMacroTool}, {"autohotkeyu64.exe", kMacroTool},
    {"autohotkeyu32.exe", kMacroTool}, {"autoit3.exe", kMacroTool}, {"autoit3_x64.exe", kMacroTool},
};

}  // namespace

std::string_view tool_category(std::string_view lower_exe_name) {
    // Function-local static: built on first use, safe against concurrent first use.
    static const std::unordered_map<std::string_view, std::string_view> table(std::begin(kToolProcesses),
                                                                               std::end(kToolProcesses));
    auto it = table.find(lower_exe_name);
    return it == table.end() ? std::string_view() : it->second;
}

}  // namespace ac
