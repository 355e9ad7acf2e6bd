// Whether a userfaultfd could hold a read of another process's memory, asked
// of the kernel one mapping at a time (PROCMAP_QUERY on an open maps file,
// Linux 6.11). That costs microseconds per read, where smaps, which walks the
// page tables of every mapping, costs milliseconds in a game's address space.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ac::lx {

// True when every mapping that [address, address + size) touches maps a
// regular file of a filesystem on a block device. userfaultfd makes a fault
// wait only in anonymous, shared-memory (tmpfs, memfd, SysV) and hugetlbfs
// mappings, whose files all live on device-less filesystems; its write
// protection never stops a read. A device node on a disk filesystem can map
// anonymous memory, hence the check of the file's type through map_files.
// False whenever the kernel or map_files cannot say; unmapped gaps count as
// safe, since a read stops at them.
// `proc_dir` is /proc/`pid`.
bool only_disk_files(int maps_fd, int proc_dir, uint32_t pid, uint64_t address, size_t size);

// What stat said of a /proc/PID/map_files entry, kept briefly on this thread:
// a module's facts are read through that entry just before its code is read
// from memory, and the check above would ask the kernel the same again.
void remember_map_files_stat(std::string_view path, const struct stat& st);

}  // namespace ac::lx
