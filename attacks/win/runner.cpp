// Drives the attack suite inside Wine, where the Python module cannot run:
// stages each technique against a fresh test game with the attack programs
// beside this executable, asks the core what the module's functions would
// answer, and prints one JSON line per technique (or, for "sweep", per
// process of the machine). bench/attack_suite reads the lines.
//   attack_runner stage TESTDATA_DIR TECHNIQUE...
//   attack_runner sweep
// The core's headers name Win32 constants themselves: they come before <windows.h>.
#include "checks/thread_hijack_check.hpp"
#include "module/session.hpp"
#include "reports/cheat_process_scan.hpp"
#include "reports/module_report.hpp"
#include "reports/process_report.hpp"
#include "reports/record.hpp"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using ac::ReportRecord;

constexpr const char* kLevels[] = {"cheap", "medium", "heavy"};
constexpr const char* kWrappers[] = {"d3d9.dll", "dinput8.dll", "xinput1_3.dll"};
constexpr DWORD kReadyTimeoutMs = 30000;

std::string folder_of_self() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string temp_folder() {
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, path);
    return path;
}

void make_folders(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

void remove_tree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_tree(path);
            else DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string copy_to(const std::string& from, const std::string& folder, const std::string& name) {
    make_folders(folder);
    std::string to = folder + "\\" + name;
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) std::fprintf(stderr, "copy %s: %lu\n", to.c_str(), GetLastError());
    return to;
}

// A started program; those of attacks/ print "ready" once their part is done.
class Child {
public:
    Child(const std::string& exe, const std::string& args, const std::string& cwd) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE write_end = nullptr;
        CreatePipe(&read_end_, &write_end, &inherit, 0);
        SetHandleInformation(read_end_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = write_end;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::string command = "\"" + exe + "\" " + args;
        started_ = CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, cwd.c_str(),
                                  &startup, &info_);
        if (!started_) std::fprintf(stderr, "start %s: %lu\n", exe.c_str(), GetLastError());
        CloseHandle(write_end);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (started_) {
            TerminateProcess(info_.hProcess, 0);
            WaitForSingleObject(info_.hProcess, 10000);
            CloseHandle(info_.hThread);
            CloseHandle(info_.hProcess);
        }
        CloseHandle(read_end_);
    }

    DWORD pid() const { return started_ ? info_.dwProcessId : 0; }

    bool wait_ready() {
        std::string seen;
        for (DWORD waited = 0; started_ && waited < kReadyTimeoutMs; waited += 50) {
            DWORD available = 0;
            if (PeekNamedPipe(read_end_, nullptr, 0, nullptr, &available, nullptr) && available) {
                char buffer[256];
                DWORD got = 0;
                if (ReadFile(read_end_, buffer, sizeof buffer, &got, nullptr)) seen.append(buffer, got);
                if (seen.find("ready") != std::string::npos) return true;
                continue;
            }
            if (WaitForSingleObject(info_.hProcess, 50) == WAIT_OBJECT_0) break;
        }
        std::fprintf(stderr, "not ready: %s\n", seen.c_str());
        return false;
    }

private:
    PROCESS_INFORMATION info_{};
    HANDLE read_end_ = nullptr;
    bool started_ = false;
};

std::string object_of(const ReportRecord& record) {
    std::string list = ac::records_to_json({record});
    return list.substr(1, list.size() - 2);
}

std::string observe(DWORD pid, const std::string& game_dir) {
    const auto target = static_cast<int32_t>(pid);
    std::string out = "{\"quick\":{\"detect_thread_hijack\":";
    out += ac::thread_hijack_detected(target) ? "true" : "false";
    out += ",\"is_cheat_detected\":";
    out += ac::is_cheat_detected() ? "true" : "false";
    out += ",\"verify_game_integrity\":";
    out += ac::verify_game_integrity() ? "true" : "false";
    out += ",\"detect_cheat_process\":" + object_of(ac::detect_cheat_process_record()) + "},\"process\":{";
    for (const char* level : kLevels) {
        if (level != kLevels[0]) out += ',';
        out += std::string("\"") + level +
               "\":" + object_of(ac::inspect_process_record(target, game_dir.c_str(), level));
    }
    out += "},\"modules\":{";
    for (const char* level : kLevels) {
        if (level != kLevels[0]) out += ',';
        out += std::string("\"") + level +
               "\":" + ac::records_to_json(ac::inspect_process_modules_records(target, game_dir.c_str(), level));
    }
    return out + "}}";
}

struct Stage {
    std::string program;  // an attack program that prints "ready", or a cheat program copy
    std::string args;
    bool says_ready = true;
};

class Suite {
public:
    explicit Suite(std::string testdata) : testdata_(std::move(testdata)) {}

    ~Suite() {
        remove_tree(work_);
        remove_tree(scratch_);
    }

    void run(const std::string& technique) {
        remove_tree(game_dir_);
        make_folders(game_dir_);
        const std::string game_exe = copy_to(here_ + "attack_game.exe", game_dir_, "game.exe");
        if (technique == "wrapper_dlls")  // planted before the game starts
            for (const char* name : kWrappers) copy_to(here_ + "wrapper_stub.dll", game_dir_, name);
        Child game(game_exe, "", game_dir_);
        std::string observation = "null";
        if (game.wait_ready()) {
            std::vector<Stage> stages = stages_for(technique, game.pid());
            std::vector<Child*> started;
            bool staged = true;
            for (const Stage& s : stages) {
                started.push_back(new Child(s.program, s.args, work_));
                if (s.says_ready) staged = started.back()->wait_ready() && staged;
            }
            Sleep(300);  // let a started program settle into the process list
            if (staged) observation = observe(game.pid(), game_dir_);
            for (auto it = started.rbegin(); it != started.rend(); ++it) delete *it;
        }
        std::printf("{\"technique\":\"%s\",\"observation\":%s}\n", technique.c_str(), observation.c_str());
        std::fflush(stdout);
    }

private:
    std::vector<Stage> stages_for(const std::string& technique, DWORD pid) {
        const std::string game = std::to_string(pid), module = testdata_ + "\\known-cheat-test-module.dll";
        const std::string tools = work_ + "\\tools", plugins = work_ + "\\plugins";
        const std::string deep = scratch_ + "\\cache\\x\\y\\z";
        auto attack = [&](const char* name) { return here_ + "attack_" + name + ".exe"; };
        if (technique == "manual_map_headers") return {{attack("manual_map"), game + " \"" + module + "\""}};
        if (technique == "manual_map_wiped") return {{attack("manual_map"), game + " \"" + module + "\" --wipe"}};
        if (technique == "remote_thread" || technique == "thread_hijack" || technique == "debugger")
            return {{attack(technique.c_str()), game}};
        if (technique == "write_handle_vm") return {{attack("write_handle"), game}};
        if (technique == "write_handle_all") return {{attack("write_handle"), game + " --all"}};
        const std::string cheat = testdata_ + "\\known-cheat-test-program.exe";
        if (technique == "cheat_own_name") return {{copy_to(cheat, tools, "known-cheat-test-program.exe"), "", false}};
        if (technique == "cheat_renamed") return {{copy_to(cheat, tools, "overlay-helper.exe"), "", false}};
        if (technique == "cheat_user_writable") return {{copy_to(cheat, deep, "overlay-helper.exe"), "", false}};
        if (technique == "cheat_module")
            return {{attack("load_module"),
                     game + " \"" + copy_to(module, plugins, "known-cheat-test-module.dll") + "\""}};
        if (technique == "cheat_module_rebuild")
            return {{attack("load_module"),
                     game + " \"" + copy_to(here_ + "overlay-render.dll", plugins, "overlay-render.dll") + "\""}};
        return {};
    }

    std::string testdata_;
    std::string here_ = folder_of_self();
    std::string work_ = here_ + "suite";
    std::string game_dir_ = work_ + "\\game";
    std::string scratch_ = temp_folder() + "attack_suite";  // under the user's temp folder: user-writable
};

void sweep() {
    std::vector<std::pair<DWORD, std::string>> processes;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        // The runner is the inspector, not part of the machine under test: where it
        // was built (a CI clone under the temp folder, say) is the build's choice.
        if (entry.th32ProcessID != 0 && entry.th32ProcessID != GetCurrentProcessId())
            processes.emplace_back(entry.th32ProcessID, entry.szExeFile);
    CloseHandle(snapshot);
    std::printf("{\"pid\":0,\"name\":\"\",\"cheat\":%s}\n", object_of(ac::detect_cheat_process_record()).c_str());
    for (const auto& [pid, name] : processes) {
        const auto target = static_cast<int32_t>(pid);
        std::printf("{\"pid\":%lu,\"name\":\"%s\",\"hijack\":%s,\"process\":%s,\"modules\":%s}\n", pid,
                    ac::json_escape(name).c_str(), ac::thread_hijack_detected(target) ? "true" : "false",
                    object_of(ac::inspect_process_record(target, "", "heavy")).c_str(),
                    ac::records_to_json(ac::inspect_process_modules_records(target, "", "heavy")).c_str());
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "sweep") {
        sweep();
        return 0;
    }
    if (argc < 3 || std::string(argv[1]) != "stage") {
        std::fprintf(stderr, "usage: attack_runner stage TESTDATA_DIR TECHNIQUE... | attack_runner sweep\n");
        return 2;
    }
    ac::initialize_session("attack suite");  // as a client does before asking for verdicts
    Suite suite(argv[2]);
    for (int i = 3; i < argc; ++i) suite.run(argv[i]);
    return 0;
}
