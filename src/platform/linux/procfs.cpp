#include "platform/linux/procfs.hpp"

#include "platform/linux/posix_io.hpp"

namespace ac::lx {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Splits off the next blank-separated word of `rest`.
std::string_view next_word(std::string_view& rest) {
    size_t begin = 0;
    while (begin < rest.size() && is_blank(rest[begin])) ++begin;
    size_t end = begin;
    while (end < rest.size() && !is_blank(rest[end]) && rest[end] != '\n') ++end;
    std::string_view word = rest.substr(begin, end - begin);
    rest.remove_prefix(end);
    return word;
}

// The kernel escapes only the newline in a mapped file's path.
std::string unescape_newlines(std::string_view path) {
    constexpr std::string_view escaped = "\\012";
    if (path.find(escaped) == std::string_view::npos) return std::string(path);
    std::string out;
    out.reserve(path.size());
    for (size_t at = 0; at < path.size();) {
        if (path.substr(at, escaped.size()) == escaped) {
            out += '\n';
            at += escaped.size();
        } else {
            out += path[at++];
        }
    }
    return out;
}

bool is_range_line(std::string_view line, AddressRange& range) {
    std::string_view rest = line;
    std::string_view word = next_word(rest);
    size_t dash = word.find('-');
    if (dash == std::string_view::npos) return false;
    auto start = parse_unsigned(word.substr(0, dash), 16);
    auto end = parse_unsigned(word.substr(dash + 1), 16);
    if (!start || !end || *end <= *start) return false;
    range = {*start, *end};
    return true;
}

}  // namespace

std::optional<StatLine> parse_stat(std::string_view text) {
    size_t open = text.find('(');
    size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return std::nullopt;
    auto pid = parse_unsigned(text.substr(0, open == 0 ? 0 : open - 1));
    if (!pid || *pid > UINT32_MAX) return std::nullopt;

    StatLine out;
    out.pid = static_cast<uint32_t>(*pid);
    out.comm = std::string(text.substr(open + 1, close - open - 1));

    // Fields after the comm, numbered as in proc(5): 3 state, 4 ppid, 20 num_threads, 22 starttime.
    std::string_view rest = text.substr(close + 1);
    std::string_view fields[20];
    for (auto& f : fields) {
        f = next_word(rest);
        if (f.empty()) return std::nullopt;
    }
    if (fields[0].size() != 1) return std::nullopt;
    out.state = fields[0][0];
    auto ppid = parse_unsigned(fields[1]);
    auto threads = parse_unsigned(fields[17]);
    auto start = parse_unsigned(fields[19]);
    if (!ppid || !threads || !start || *ppid > UINT32_MAX || *threads > UINT32_MAX) return std::nullopt;
    out.ppid = static_cast<uint32_t>(*ppid);
    out.num_threads = static_cast<uint32_t>(*threads);
    out.starttime = *start;
    return out;
}

std::vector<MapsLine> parse_maps(std::string_view text) {
    std::vector<MapsLine> out;
    append_maps_lines(text, out);
    return out;
}

void append_maps_lines(std::string_view text, std::vector<MapsLine>& out, bool files_only) {
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);

        std::string_view rest = line;
        std::string_view range = next_word(rest);
        std::string_view perms = next_word(rest);
        std::string_view offset = next_word(rest);
        std::string_view device = next_word(rest);
        std::string_view inode = next_word(rest);
        if (files_only && inode == "0") continue;  // anonymous memory, the bulk of a game's mappings
        size_t dash = range.find('-');
        if (dash == std::string_view::npos || perms.size() < 4) continue;
        auto start = parse_unsigned(range.substr(0, dash), 16);
        auto end = parse_unsigned(range.substr(dash + 1), 16);
        auto off = parse_unsigned(offset, 16);
        auto ino = parse_unsigned(inode);
        if (!start || !end || !off || !ino || *end <= *start) continue;

        MapsLine m;
        m.start = *start;
        m.end = *end;
        m.read = perms[0] == 'r';
        m.write = perms[1] == 'w';
        m.exec = perms[2] == 'x';
        m.shared = perms[3] == 's';
        m.offset = *off;
        m.device = std::string(device);
        m.inode = *ino;
        // The path is the rest of the line after the padding; it may hold spaces.
        size_t p = 0;
        while (p < rest.size() && is_blank(rest[p])) ++p;
        m.path = unescape_newlines(rest.substr(p));
        if (files_only && !m.file_backed()) continue;
        out.push_back(std::move(m));
    }
}

std::optional<std::vector<MapsLine>> read_maps_at(int proc_dir, bool files_only) {
    UniqueFd maps = open_at(proc_dir, "maps", O_RDONLY);
    if (!maps) return std::nullopt;
    std::vector<MapsLine> out;
    if (!read_line_blocks(maps.get(), [&](std::string_view lines) { append_maps_lines(lines, out, files_only); }))
        return std::nullopt;
    return out;
}

MapsLine::Backing MapsLine::backing() const {
    if (inode == 0) return Backing::anonymous;
    std::string_view p = path;
    auto starts = [&](std::string_view prefix) { return p.substr(0, prefix.size()) == prefix; };
    if (p == "/dev/zero (deleted)" || starts("/anon_hugepage")) return Backing::anonymous;
    if (starts("/memfd:") || starts("/SYSV") || !starts("/")) return Backing::shared_memory;
    return Backing::file;
}

std::optional<std::string_view> field_value(std::string_view text, std::string_view key) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        std::string_view line = text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        if (line.substr(0, key.size()) == key) {
            line.remove_prefix(key.size());
            while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
            return line;
        }
        if (eol == std::string_view::npos) break;
        pos = eol + 1;
    }
    return std::nullopt;
}

std::optional<uint64_t> field_number(std::string_view text, std::string_view key, int base) {
    auto value = field_value(text, key);
    if (!value) return std::nullopt;
    std::string_view rest = *value;
    return parse_unsigned(next_word(rest), base);
}

std::optional<uint64_t> syscall_instruction_pointer(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || is_blank(text.back()))) text.remove_suffix(1);
    size_t last = text.find_last_of(" \t");
    if (last == std::string_view::npos) return std::nullopt;  // "running" or nothing
    std::string_view word = text.substr(last + 1);
    if (word.substr(0, 2) != "0x") return std::nullopt;
    return parse_unsigned(word, 16);
}

std::vector<AddressRange> userfaultfd_ranges(std::string_view smaps) {
    UserfaultfdScan scan;
    scan.feed(smaps);
    return scan.ranges();
}

void UserfaultfdScan::feed(std::string_view smaps) {
    std::optional<AddressRange>& current = current_;
    while (!smaps.empty()) {
        size_t eol = smaps.find('\n');
        std::string_view line = smaps.substr(0, eol);
        smaps.remove_prefix(eol == std::string_view::npos ? smaps.size() : eol + 1);
        constexpr std::string_view flags_key = "VmFlags:";
        if (line.substr(0, flags_key.size()) == flags_key) {
            std::string_view rest = line.substr(flags_key.size());
            for (std::string_view flag = next_word(rest); !flag.empty(); flag = next_word(rest))
                if (current && (flag == "um" || flag == "uw" || flag == "ui")) {
                    ranges_.push_back(*current);
                    current.reset();
                }
            continue;
        }
        if (AddressRange range; is_range_line(line, range)) current = range;
    }
}

UniqueFd memory_view_at(int proc_dir, uint32_t* thread) {
    if (thread) *thread = 0;
    auto live = [](int dir) {
        auto text = read_file_at(dir, "stat");
        auto stat = text ? parse_stat(*text) : std::nullopt;
        return stat && stat->state != 'Z' && stat->state != 'X';
    };
    if (!live(proc_dir)) {
        UniqueFd tasks = open_at(proc_dir, "task", O_RDONLY | O_DIRECTORY);
        UniqueFd found;
        if (tasks)
            for_each_entry(tasks.get(), [&](std::string_view tid) {
                if (found) return;
                UniqueFd task = open_at(tasks.get(), std::string(tid).c_str(), O_RDONLY | O_DIRECTORY);
                auto id = parse_unsigned(tid);
                if (task && id && *id <= UINT32_MAX && live(task.get())) {
                    found = std::move(task);
                    if (thread) *thread = static_cast<uint32_t>(*id);
                }
            });
        if (found) return found;
    }
    return UniqueFd(::fcntl(proc_dir, F_DUPFD_CLOEXEC, 0));
}

}  // namespace ac::lx
