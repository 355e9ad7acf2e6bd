// Where the evidence tool's paths come from: the command line, standard input
// ("-"), list files ("@FILE"), and directory walks ("-r").
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace evidence {

using PathSink = std::function<void(const std::string& path)>;

// One path per line; "\r\n" line ends and empty lines are fine. False when
// the list could not be read to its end.
bool read_path_list(std::FILE* list, const PathSink& sink);

// Every entry below `dir` that is not a directory, in byte order of the names
// within each directory, depth first. Symbolic links to directories are not
// followed (they could loop); the walk stops 64 levels down. False when some
// directory could not be listed.
bool walk_directory(const std::string& dir, const PathSink& sink);

}  // namespace evidence
