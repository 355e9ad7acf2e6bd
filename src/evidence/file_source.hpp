// Which name a file's facts and bytes are read through. Reports show a
// module's or image's path, and the per-file caches key on it; the adapter may
// offer a content path that reaches the same bytes even when the name no
// longer does (deleted, renamed, replaced by a link to something else).
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.hpp"

namespace ac {

struct FileSource {
    std::string path;       // shown in reports, normalised into cache keys
    std::string read_path;  // where `facts` came from and the bytes are read
    FileFacts facts;
};

// Through the content path when its facts can be read; otherwise the name.
FileSource resolve_file(std::string path, std::string content_path);

// The image of process `pid` (process_image_path and the adapter's content
// path, from one opening); an empty path when it cannot be read.
FileSource process_image(uint32_t pid);
// The same for a listed process; the listing's image path, when the adapter
// read it anyway, spares opening the process again.
FileSource process_image(const ProcessEntry& entry);

}  // namespace ac
