#include "job/searchroots.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace ravelin::job {

namespace {

// Splits at single blanks; mountinfo fields never contain a raw blank.
std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        if (end > at)
            fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

bool IsOctal(char c)
{
    return c >= '0' && c <= '7';
}

// Undoes the kernel's octal escapes (\040 blank, \011 tab, \012 line feed,
// \134 backslash).
std::string Unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && text.size() - i >= 4 && IsOctal(text[i + 1]) && IsOctal(text[i + 2]) &&
            IsOctal(text[i + 3])) {
            const int value = (text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
            out.push_back(static_cast<char>(value & 0xFF));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

bool ParseNumber(std::string_view text, unsigned long& value)
{
    if (text.empty() || text.size() > 10)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return true;
}

bool IsFolderNoWait(const std::string& path)
{
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT, STATX_TYPE, &info) != 0)
        return false;
    return S_ISDIR(info.stx_mode);
}

}  // namespace

std::vector<MountPoint> ParseMountInfo(std::string_view text)
{
    // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": mount
    // id, parent id, major:minor, root, mount point, options, optional
    // fields up to "-", then the type.
    std::vector<MountPoint> mounts;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::vector<std::string_view> fields = Fields(text.substr(at, end - at));
        at = end + 1;
        if (fields.size() < 7)
            continue;
        const std::string_view device = fields[2];
        const std::size_t colon = device.find(':');
        unsigned long major = 0;
        unsigned long minor = 0;
        if (colon == std::string_view::npos || !ParseNumber(device.substr(0, colon), major) ||
            !ParseNumber(device.substr(colon + 1), minor))
            continue;
        const auto separator = std::find(fields.begin() + 6, fields.end(), std::string_view("-"));
        if (separator == fields.end() || std::next(separator) == fields.end())
            continue;
        MountPoint mount;
        mount.path = Unescape(fields[4]);
        mount.type = Unescape(*std::next(separator));
        mount.device = makedev(static_cast<unsigned int>(major), static_cast<unsigned int>(minor));
        if (mount.path.empty() || mount.path.front() != '/')
            continue;
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

std::vector<MountPoint> ReadMountTable()
{
    std::ifstream in("/proc/self/mountinfo");
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return ParseMountInfo(text.str());
}

bool IsPseudoFileSystem(std::string_view type)
{
    static constexpr std::array<std::string_view, 31> kPseudo{
        "autofs",     "binfmt_misc", "bpf",       "cgroup",    "cgroup2",         "configfs",
        "cpuset",     "debugfs",     "devpts",    "devtmpfs",  "efivarfs",        "fusectl",
        "hugetlbfs",  "mqueue",      "nfsd",      "nsfs",      "proc",            "pstore",
        "ramfs",      "rpc_pipefs",  "securityfs", "selinuxfs", "squashfs",       "sysfs",
        "tmpfs",      "tracefs",     "devfs",     "usbfs",     "fuse.gvfsd-fuse", "fuse.portal",
        "fuse.lxcfs",
    };
    return std::find(kPseudo.begin(), kPseudo.end(), type) != kPseudo.end();
}

std::vector<std::string> LookInEntries(const std::vector<MountPoint>& mounts, const std::string& home,
                                       const std::function<bool(const std::string&)>& isFolder)
{
    const auto folder = isFolder ? isFolder : std::function<bool(const std::string&)>(IsFolderNoWait);
    // A later mount at the same place hides the earlier one.
    std::vector<std::pair<std::string, std::string>> byPath;
    for (const MountPoint& mount : mounts) {
        const auto same = std::find_if(byPath.begin(), byPath.end(), [&](const auto& p) { return p.first == mount.path; });
        if (same != byPath.end())
            same->second = mount.type;
        else
            byPath.emplace_back(mount.path, mount.type);
    }
    std::set<std::string> paths;
    for (const auto& [path, type] : byPath) {
        if (!IsPseudoFileSystem(type) && folder(path))
            paths.insert(path);
    }
    std::vector<std::string> entries;
    if (!home.empty())
        entries.push_back(std::string(kHomeEntryLabel) + home + ")");
    for (const std::string& path : paths)
        entries.push_back(std::string(kFileSystemEntryLabel) + path + ")");
    return entries;
}

std::string StartPathFromEntry(std::string_view entry)
{
    const std::size_t open = entry.find('(');
    if (open == std::string_view::npos || entry.empty() || entry.back() != ')')
        return std::string(entry);
    return std::string(entry.substr(open + 1, entry.size() - open - 2));
}

}  // namespace ravelin::job
