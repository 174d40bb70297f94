#pragma once

// Where a file search can start: the mounted file systems that hold files
// (not the kernel's pseudo file systems) and the user's home folder. The
// "Look in" list of the file selection dialog shows one entry per root, and
// the search takes its start path back from the entry's text.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::job {

// One line of the mount table.
struct MountPoint {
    std::string path;          // where it is mounted (escapes decoded)
    std::string type;          // file system type, e.g. "ext4", "proc", "fuse.sshfs"
    std::uint64_t device = 0;  // the device number its files report (st_dev)
};

// Parses the text of /proc/self/mountinfo, lines in table order. Lines that
// do not show the expected fields are passed over.
std::vector<MountPoint> ParseMountInfo(std::string_view text);

// The mount table of this process; empty when it cannot be read.
std::vector<MountPoint> ReadMountTable();

// Whether files of this type are kernel or memory views rather than stored
// files (proc, sysfs, tmpfs, cgroup, ...). A search neither offers nor enters
// such a file system.
bool IsPseudoFileSystem(std::string_view type);

// Entry texts of the "Look in" list.
inline constexpr std::string_view kHomeEntryLabel = "Home Folder(";
inline constexpr std::string_view kFileSystemEntryLabel = "File System(";

// The "Look in" entries: "Home Folder(<home>)" first (when home is not
// empty), then "File System(<mount point>)" for every mounted file system
// that is not a pseudo file system and whose mount point is a folder, in
// path order, each mount point once. isFolder defaults to a check that does
// not wait on network file systems.
std::vector<std::string> LookInEntries(const std::vector<MountPoint>& mounts, const std::string& home,
                                       const std::function<bool(const std::string&)>& isFolder = {});

// The start path an entry stands for: the text between the first "(" and
// the closing ")" ("File System(/mnt/data)" -> "/mnt/data"). A text without
// that shape is taken as a path itself.
std::string StartPathFromEntry(std::string_view entry);

}  // namespace ravelin::job
