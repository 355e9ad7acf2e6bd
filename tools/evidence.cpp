// evidence: describes files the way the inspections see them, for analysts
// who extend the detection tables and for support.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define EVIDENCE_ISATTY(fd) _isatty(fd)
#define EVIDENCE_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define EVIDENCE_ISATTY(fd) ::isatty(fd)
#define EVIDENCE_FILENO(f) ::fileno(f)
#endif

#include "checks/table_identity.hpp"
#include "evidence/describe.hpp"
#include "evidence/inputs.hpp"
#include "reports/record.hpp"

namespace {

constexpr const char* kUsage =
    "usage: evidence [OPTIONS] PATH...\n"
    "\n"
    "Describes each file as the inspections see it: one JSON object per file and\n"
    "line, keys in byte order, every value text. Keys: path, normalizedPath,\n"
    "origin, fileType, found, size, lastWriteTime, md5, pe* (the PE fingerprint),\n"
    "signature* (the signature) and table* (the built-in table entries the file\n"
    "matches: known-cheat and known-bad-holder digests, fuzzy corpus rule id,\n"
    "family, confidence and strength, graphics/input wrapper name, cheat program\n"
    "name and its list, tool category). docs/reference.md describes every key.\n"
    "\n"
    "PATH is a file, or:\n"
    "  -               read paths from standard input, one per line\n"
    "  @FILE           read paths from FILE, one per line\n"
    "  DIR             with -r, every file below DIR (symbolic links to\n"
    "                  directories are not followed); without -r, a record whose\n"
    "                  fileType is \"directory\" and found \"0\"\n"
    "\n"
    "Options:\n"
    "  -r, --recursive   walk directories\n"
    "  --game-dir DIR    the game directory the origin is classified against\n"
    "  --version         print the version and the detection table identity\n"
    "  -h, --help        print this help\n"
    "  --                every later argument is a path\n"
    "\n"
    "A progress line goes to standard error when it is a terminal and the run\n"
    "takes more than a second.\n"
    "\n"
    "Exit status:\n"
    "  0  every path named a regular file, and every file was read\n"
    "  1  some path was missing or not a regular file (directory without -r,\n"
    "     device, FIFO), or a list or directory could not be read\n"
    "  2  usage error: unknown option, missing option value, or no PATH\n";

struct Options {
    std::string game_dir;
    bool recursive = false;
    struct Operand {
        std::string text;
        bool literal;  // after "--": a path even when it reads "-" or "@..."
    };
    std::vector<Operand> operands;
};

enum class Parse { run, exit_ok, usage_error };

Parse parse_arguments(int argc, char** argv, Options& options) {
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (options_done || arg == "-" || arg.empty() || arg[0] != '-') {
            options.operands.push_back({std::string(arg), options_done});
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return Parse::exit_ok;
        } else if (arg == "--version") {
            std::printf("evidence %.*s tables %.*s\n", static_cast<int>(ac::tables::kProjectVersion.size()),
                        ac::tables::kProjectVersion.data(), static_cast<int>(ac::tables::kTableIdentity.size()),
                        ac::tables::kTableIdentity.data());
            return Parse::exit_ok;
        } else if (arg == "-r" || arg == "--recursive") {
            options.recursive = true;
        } else if (arg == "--game-dir") {
            if (++i == argc) {
                std::fputs("evidence: --game-dir needs a directory\n", stderr);
                return Parse::usage_error;
            }
            options.game_dir = argv[i];
        } else if (arg.rfind("--game-dir=", 0) == 0) {
            options.game_dir = std::string(arg.substr(std::strlen("--game-dir=")));
        } else {
            std::fprintf(stderr, "evidence: unknown option %s (try --help)\n", argv[i]);
            return Parse::usage_error;
        }
    }
    if (options.operands.empty()) {
        std::fputs("evidence: no PATH given (try --help)\n", stderr);
        return Parse::usage_error;
    }
    return Parse::run;
}

// "N files" on one rewritten stderr line, only for a terminal and a long run.
class Progress {
public:
    Progress() : enabled_(EVIDENCE_ISATTY(EVIDENCE_FILENO(stderr)) != 0), start_(Clock::now()), last_(start_) {}

    void file_done() {
        ++count_;
        if (!enabled_) return;
        const auto now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        shown_ = true;
        std::fprintf(stderr, "\revidence: %zu files", count_);
        std::fflush(stderr);
    }

    ~Progress() {
        if (shown_) std::fprintf(stderr, "\revidence: %zu files, done\n", count_);
    }

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    bool shown_ = false;
    size_t count_ = 0;
    Clock::time_point start_;
    Clock::time_point last_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    switch (parse_arguments(argc, argv, options)) {
        case Parse::exit_ok: return 0;
        case Parse::usage_error: return 2;
        case Parse::run: break;
    }

    bool all_files = true;
    Progress progress;
    const evidence::PathSink describe_one = [&](const std::string& path) {
        ac::ReportRecord record = evidence::describe(path, options.game_dir);
        if (ac::get_field(record, ac::evidence_key::found) != ac::word::flag_true) all_files = false;
        const std::string line = evidence::json_line(record);
        std::fwrite(line.data(), 1, line.size(), stdout);
        progress.file_done();
    };
    const evidence::PathSink expand = [&](const std::string& path) {
        if (options.recursive && evidence::path_type(path) == ac::word::file_directory) {
            if (!evidence::walk_directory(path, describe_one)) {
                std::fprintf(stderr, "evidence: could not list all of %s\n", path.c_str());
                all_files = false;
            }
        } else {
            describe_one(path);
        }
    };

    for (const auto& [operand, literal] : options.operands) {
        if (literal) {
            expand(operand);
        } else if (operand == "-") {
            if (!evidence::read_path_list(stdin, expand)) all_files = false;
        } else if (operand.size() > 1 && operand[0] == '@') {
            const std::string list_path = operand.substr(1);
            std::FILE* list = std::fopen(list_path.c_str(), "rb");
            if (!list) {
                std::fprintf(stderr, "evidence: cannot read the list %s\n", list_path.c_str());
                all_files = false;
                continue;
            }
            if (!evidence::read_path_list(list, expand)) all_files = false;
            std::fclose(list);
        } else {
            expand(operand);
        }
    }
    std::fflush(stdout);
    return all_files ? 0 : 1;
}
