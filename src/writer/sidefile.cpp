#include "writer/sidefile.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "ods/textcodec.h"
#include "writer/targetconnection.h"

namespace ravelin::writer {
namespace {

// The file part of a server path: after "host:" or "host/port:", or after
// the host of "inet://host/".
std::string LocalPart(const std::string& targetPath)
{
    if (!IsServerPath(targetPath))
        return targetPath;
    const std::size_t scheme = targetPath.find("://");
    if (scheme != std::string::npos) {
        const std::size_t slash = targetPath.find('/', scheme + 3);
        return slash == std::string::npos ? std::string() : targetPath.substr(slash);
    }
    std::size_t from = 0;
    if (targetPath.front() == '[') {
        const std::size_t close = targetPath.find(']');
        from = close == std::string::npos ? targetPath.size() : close;
    }
    const std::size_t colon = targetPath.find(':', from);
    return colon == std::string::npos ? std::string() : targetPath.substr(colon + 1);
}

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

std::string SideFilePath(const std::string& targetPath, SideFileKind kind)
{
    return LocalPart(targetPath) + (kind == SideFileKind::Views ? "Views.txt" : "Indices.txt");
}

bool CreateSideFile(const std::string& path, SideFileKind)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == EEXIST;
}

bool AppendToSideFile(const std::string& statement, const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = WriteAll(fd, ods::Utf8ToUtf16Le(statement + ";\r\n\r\n"));
    const bool closed = ::close(fd) == 0;
    return written && closed;
}

}  // namespace ravelin::writer
