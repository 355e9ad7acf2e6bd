#include "inputs.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

namespace evidence {

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif
constexpr int kMaxDepth = 64;

bool is_separator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// Whether a walk descends into `path`: a real directory, not a link to one.
bool descend_into(const std::string& path) {
#ifdef _WIN32
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#else
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

bool is_link_to_directory(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    struct stat link {};
    struct stat target {};
    return ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && ::stat(path.c_str(), &target) == 0 &&
           S_ISDIR(target.st_mode);
#endif
}

bool walk(const std::string& dir, int depth, const PathSink& sink) {
    DIR* handle = ::opendir(dir.c_str());
    if (!handle) return false;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(handle)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(handle);
    std::sort(names.begin(), names.end());

    std::string prefix = dir;
    if (prefix.empty() || !is_separator(prefix.back())) prefix += kSeparator;
    bool complete = true;
    for (const std::string& name : names) {
        const std::string path = prefix + name;
        if (descend_into(path)) {
            if (depth < kMaxDepth) complete = walk(path, depth + 1, sink) && complete;
        } else if (!is_link_to_directory(path)) {
            sink(path);
        }
    }
    return complete;
}

}  // namespace

bool read_path_list(std::FILE* list, const PathSink& sink) {
    std::string line;
    int c;
    while ((c = std::fgetc(list)) != EOF) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) sink(line);
        line.clear();
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) sink(line);
    return !std::ferror(list);
}

bool walk_directory(const std::string& dir, const PathSink& sink) { return walk(dir, 0, sink); }

}  // namespace evidence
