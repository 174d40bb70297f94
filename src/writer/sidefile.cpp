#include "writer/sidefile.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "ods/textcodec.h"
#include "writer/targetconnection.h"

namespace ravelin::writer {
namespace {

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
    return LocalTargetPath(targetPath) + (kind == SideFileKind::Views ? "Views.txt" : "Indices.txt");
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
