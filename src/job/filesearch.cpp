#include "job/filesearch.h"

#include <algorithm>
#include <cctype>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace ravelin::job {

namespace {

// One folder entry as the folder listing gives it.
struct Entry {
    std::string name;
    unsigned char type = DT_UNKNOWN;
};

char Lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool EndsWithNoCase(std::string_view name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char a, char b) { return Lower(a) == b; });
}

// Names in ascending order without regard to letter case (as the system's
// own file dialogs list them); names differing only in case by bytes.
bool NameBefore(const Entry& a, const Entry& b)
{
    const auto less = [](char x, char y) { return Lower(x) < Lower(y); };
    if (std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), less))
        return true;
    if (std::lexicographical_compare(b.name.begin(), b.name.end(), a.name.begin(), a.name.end(), less))
        return false;
    return a.name < b.name;
}

// The entries of folder (a path ending in "/") without "." and "..", in
// name order; false when the folder cannot be listed.
bool ListFolder(const std::string& folder, std::vector<Entry>& entries)
{
    entries.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        entries.push_back(Entry{std::string(name), entry->d_type});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), NameBefore);
    return true;
}

struct FolderId {
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId&) const = default;
};

struct FolderIdHash {
    std::size_t operator()(const FolderId& id) const
    {
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(id.device) * 0x9E3779B97F4A7C15ULL ^
                                          static_cast<std::uint64_t>(id.inode));
    }
};

class Search {
public:
    Search(const SearchParams& params, SearchLink link) : params_(params), link_(link)
    {
        for (const MountPoint& mount : params.mounts)
            pseudo_[static_cast<dev_t>(mount.device)] = IsPseudoFileSystem(mount.type);
    }

    void Run()
    {
        std::string start = params_.startPath;
        while (!start.empty() && start.back() == '/')
            start.pop_back();
        start.push_back('/');

        std::vector<std::string> folders;
        if (params_.subfolders)
            ListFolders(start, folders);
        else
            folders.push_back(start);
        for (const std::string& folder : folders) {
            if (Stopped()) {
                Progress(0, kSearchProgressEnd);
                break;
            }
            SearchFolder(folder);
        }
    }

    bool Stopped() const { return link_.state.searchStop.load(); }
    void Progress(std::uintptr_t wParam, std::intptr_t lParam) { link_.dialog.Send(UM_SEARCH_PROGRESS, wParam, lParam); }

private:
    // Whether the walk may enter a folder on another device than its parent.
    bool MayEnter(dev_t device) const
    {
        const auto found = pseudo_.find(device);
        return found == pseudo_.end() || !found->second;
    }

    // The start folder and every folder below it, depth first, each folder's
    // subfolders in name order.
    void ListFolders(const std::string& start, std::vector<std::string>& folders)
    {
        struct Pending {
            std::string path;
            dev_t device;
        };
        std::unordered_set<FolderId, FolderIdHash> visited;
        struct stat info {};
        dev_t startDevice = 0;
        if (::stat(start.c_str(), &info) == 0) {
            startDevice = info.st_dev;
            visited.insert(FolderId{info.st_dev, info.st_ino});
        }
        std::vector<Pending> pending{{start, startDevice}};
        std::vector<Entry> entries;
        std::vector<Pending> children;
        while (!pending.empty()) {
            if (Stopped())
                return;
            Pending folder = std::move(pending.back());
            pending.pop_back();
            folders.push_back(folder.path);
            if (!ListFolder(folder.path, entries))
                continue;
            children.clear();
            for (const Entry& entry : entries) {
                Progress(0, kSearchProgressStep);
                if (IsHiddenName(entry.name) || (entry.type != DT_DIR && entry.type != DT_UNKNOWN))
                    continue;
                const std::string path = folder.path + entry.name;
                // lstat: a symbolic link is never taken for a folder.
                if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
                    continue;
                if (info.st_dev != folder.device && !MayEnter(info.st_dev))
                    continue;
                if (!visited.insert(FolderId{info.st_dev, info.st_ino}).second)
                    continue;
                children.push_back(Pending{path + "/", info.st_dev});
            }
            for (auto child = children.rbegin(); child != children.rend(); ++child)
                pending.push_back(std::move(*child));
        }
    }

    void SearchFolder(const std::string& folder)
    {
        std::vector<Entry> entries;
        if (!ListFolder(folder, entries))
            return;
        for (const Entry& entry : entries) {
            if (!IsDatabaseFileName(entry.name) || IsHiddenName(entry.name))
                continue;
            if (Stopped())
                return;
            FILEPROP file;
            file.path = folder + entry.name;
            struct statx info {};
            if (::statx(AT_FDCWD, file.path.c_str(), AT_STATX_SYNC_AS_STAT,
                        STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_ATIME | STATX_BTIME, &info) != 0)
                continue;
            if (!S_ISREG(info.stx_mode))
                continue;
            Progress(0, kSearchProgressStep);
            const TimeFormatter& format = params_.formatTime;
            file.size = SizeText(info.stx_size);
            if (info.stx_mask & STATX_MTIME)
                file.modified = FileTimeText(info.stx_mtime.tv_sec, format);
            if (info.stx_mask & STATX_BTIME)
                file.created = FileTimeText(info.stx_btime.tv_sec, format);
            if (info.stx_mask & STATX_ATIME)
                file.accessed = FileTimeText(info.stx_atime.tv_sec, format);
            link_.state.results.push_back(std::move(file));
        }
    }

    const SearchParams& params_;
    SearchLink link_;
    std::unordered_map<dev_t, bool> pseudo_;
};

}  // namespace

std::string DefaultTimeText(const std::tm& localTime)
{
    char text[128];
    const std::size_t length = std::strftime(text, sizeof text, "%x %X", &localTime);
    return std::string(text, length);
}

std::string FileTimeText(std::int64_t seconds, const TimeFormatter& format)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!::localtime_r(&time, &local))
        return {};
    // Not later than 30 December 1899 00:00:00 (tm_year counts from 1900,
    // tm_mon from 0): no text.
    const auto when = std::make_tuple(local.tm_year, local.tm_mon, local.tm_mday, local.tm_hour, local.tm_min,
                                      local.tm_sec);
    if (when <= std::make_tuple(-1, 11, 30, 0, 0, 0))
        return {};
    return format ? format(local) : DefaultTimeText(local);
}

std::string SizeText(std::uint64_t bytes)
{
    return std::to_string(bytes / 1024);
}

bool IsDatabaseFileName(std::string_view name)
{
    return EndsWithNoCase(name, ".ib") || EndsWithNoCase(name, ".gdb");
}

bool IsHiddenName(std::string_view name)
{
    return !name.empty() && name.front() == '.';
}

void RunSearch(const SearchParams& params, SearchLink link)
{
    SearchState& state = link.state;
    Search search(params, link);
    search.Progress(kSearchProgressRange, kSearchProgressStart);
    if (!search.Stopped()) {
        try {
            search.Run();
        } catch (...) {
            // Out of memory in a huge tree: the files found so far are listed.
        }
    }
    // Sent after a stop as well: the dialog discards the results and gives
    // its controls back.
    link.dialog.Send(UM_SEARCH_RESULTS, 0, 0);
    if (!search.Stopped()) {
        search.Progress(0, kSearchProgressEnd);
        state.searchRunning = false;
        return;
    }
    state.searchStop = false;
    search.Progress(0, kSearchProgressEnd);
    state.results.clear();
    link.currentLogLine = kSearchAbortedText;
    link.dialogs.ShowMessageOk(link.currentLogLine);
    link.currentLogLine.clear();
    state.searchRunning = false;
}

void CSearchThread::Start(SearchParams params, SearchLink link)
{
    Join();
    link.state.searchRunning = true;
    thread_ = std::thread([params = std::move(params), link] { RunSearch(params, link); });
}

void CSearchThread::Join()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

}  // namespace ravelin::job
