#include "evidence/file_source.hpp"

#include "evidence/digest.hpp"

namespace ac {

FileSource resolve_file(std::string path, std::string content_path) {
    FileSource out;
    if (!content_path.empty()) {
        out.facts = get_file_facts(content_path);
        if (out.facts.found) out.read_path = std::move(content_path);
    }
    if (out.read_path.empty()) {
        out.facts = get_file_facts(path);
        out.read_path = path;
    }
    out.path = std::move(path);
    return out;
}

FileSource process_image(uint32_t pid) {
    auto process = sys().open_process(pid, win::PROCESS_QUERY_LIMITED_INFORMATION);
    if (!process) return {};
    std::string path = process->image_path().value_or(std::string());
    if (path.empty()) return {};
    std::string content = process->image_content_path();
    process.reset();
    return resolve_file(std::move(path), std::move(content));
}

FileSource process_image(const ProcessEntry& entry) {
    if (!entry.image_path) return process_image(entry.pid);
    if (entry.image_path->empty()) return {};
    return resolve_file(*entry.image_path, entry.image_content_path);
}

}  // namespace ac
