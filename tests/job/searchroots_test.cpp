#include "job/searchroots.h"

#include <set>
#include <string>
#include <vector>

#include <sys/sysmacros.h>

#include <gtest/gtest.h>

namespace ravelin::job {
namespace {

// Lines as the kernel writes them, with optional fields, escapes and two
// lines that do not have the expected shape.
constexpr const char* kMountInfo =
    "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
    "23 28 0:22 / /sys rw,relatime shared:7 - sysfs sysfs rw\n"
    "28 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard\n"
    "29 28 0:26 / /run rw,nosuid shared:12 master:3 - tmpfs tmpfs rw\n"
    "30 28 8:17 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
    "31 28 0:44 / /home/ann/remote rw - fuse.sshfs ann@host: rw\n"
    "garbage line\n"
    "32 28 x:1 / /bad rw - ext4 /dev/x rw\n"
    "33 28 8:2 /data /srv/data rw - xfs /dev/sda2 rw\n"
    "34 28 0:50 / /srv/data rw - tmpfs tmpfs rw\n"
    "35 28 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
    "36 28 254:0 /etc/hostname /etc/hostname rw - ext4 /dev/vda rw";

TEST(SearchRoots, ParsesTheMountTable)
{
    const std::vector<MountPoint> mounts = ParseMountInfo(kMountInfo);
    struct Expected {
        const char* path;
        const char* type;
        unsigned major;
        unsigned minor;
    };
    const Expected expected[] = {
        {"/proc", "proc", 0, 21},         {"/sys", "sysfs", 0, 22},          {"/", "ext4", 254, 0},
        {"/run", "tmpfs", 0, 26},         {"/media/usb stick", "vfat", 8, 17}, {"/home/ann/remote", "fuse.sshfs", 0, 44},
        {"/srv/data", "xfs", 8, 2},       {"/srv/data", "tmpfs", 0, 50},     {"/snap/core/1", "squashfs", 7, 0},
        {"/etc/hostname", "ext4", 254, 0},
    };
    ASSERT_EQ(mounts.size(), std::size(expected));
    for (std::size_t i = 0; i < mounts.size(); ++i) {
        SCOPED_TRACE(expected[i].path);
        EXPECT_EQ(mounts[i].path, expected[i].path);
        EXPECT_EQ(mounts[i].type, expected[i].type);
        EXPECT_EQ(mounts[i].device, makedev(expected[i].major, expected[i].minor));
    }
}

TEST(SearchRoots, LookInOffersHomeAndStoredFileSystems)
{
    const std::vector<MountPoint> mounts = ParseMountInfo(kMountInfo);
    // /etc/hostname is a file mounted over a file, not a folder.
    const auto isFolder = [](const std::string& path) { return path != "/etc/hostname"; };
    const std::vector<std::string> entries = LookInEntries(mounts, "/home/ann", isFolder);
    // tmpfs over /srv/data hides the xfs below it; proc, sysfs, tmpfs and
    // the squashfs image are no places to search.
    const std::vector<std::string> expected{
        "Home Folder(/home/ann)",
        "File System(/)",
        "File System(/home/ann/remote)",
        "File System(/media/usb stick)",
    };
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(LookInEntries({}, "", isFolder), std::vector<std::string>{});
}

TEST(SearchRoots, StartPathComesFromTheEntry)
{
    struct Case {
        const char* entry;
        const char* start;
    };
    const Case cases[] = {
        {"File System(/)", "/"},
        {"File System(/media/usb stick)", "/media/usb stick"},
        {"Home Folder(/home/ann (old))", "/home/ann (old)"},
        {"Home Folder((x))", "(x)"},
        {"/plain/path", "/plain/path"},
        {"No closing (parenthesis", "No closing (parenthesis"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(StartPathFromEntry(c.entry), c.start);
    }
    // Every entry the list offers gives back its path.
    for (const std::string& entry : LookInEntries(ParseMountInfo(kMountInfo), "/home/a(b)", [](const std::string&) { return true; })) {
        SCOPED_TRACE(entry);
        const std::string start = StartPathFromEntry(entry);
        EXPECT_NE(entry.find("(" + start + ")"), std::string::npos);
    }
}

TEST(SearchRoots, PseudoFileSystems)
{
    for (const char* type : {"proc", "sysfs", "tmpfs", "devtmpfs", "cgroup2", "squashfs", "fusectl"})
        EXPECT_TRUE(IsPseudoFileSystem(type)) << type;
    for (const char* type : {"ext4", "xfs", "btrfs", "vfat", "nfs4", "cifs", "fuse.sshfs", "overlay", "zfs"})
        EXPECT_FALSE(IsPseudoFileSystem(type)) << type;
}

}  // namespace
}  // namespace ravelin::job
