#include "writer/damagedrecords.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "writer/targetconnection.h"

namespace ravelin::writer {

std::string DamagedRecordsPath(const std::string& targetPath) { return LocalTargetPath(targetPath) + "Damaged.csv"; }

std::string CsvLine(const std::vector<std::string>& fields)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i != 0)
            line += ',';
        const std::string& field = fields[i];
        if (field.find_first_of(",\"\r\n") == std::string::npos) {
            line += field;
            continue;
        }
        line += '"';
        for (const char c : field) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
    }
    return line + "\r\n";
}

bool DamagedRecordFile::SetAside(const catalogue::TableNode& table, std::uint32_t page, std::uint16_t slot,
                                 const std::vector<std::string>& cells)
{
    if (failed_)
        return false;
    std::string text;
    if (headed_.count(table.name) == 0) {
        std::vector<std::string> heading{"TABLE", "PAGE", "SLOT"};
        for (const catalogue::COLUMN& column : table.columns)
            heading.push_back(column.name);
        text += CsvLine(heading);
    }
    std::vector<std::string> fields{table.name, std::to_string(page), std::to_string(slot)};
    fields.insert(fields.end(), cells.begin(), cells.end());
    text += CsvLine(fields);
    if (!Append(text))
        return false;
    headed_.insert(table.name);
    return true;
}

bool DamagedRecordFile::Append(const std::string& text)
{
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    bool written = fd >= 0;
    for (std::size_t done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        if (written)
            done += static_cast<std::size_t>(n);
    }
    const int error = written ? 0 : errno;
    if (fd >= 0 && ::close(fd) != 0 && written) {
        written = false;
    }
    if (!written) {
        // Logged once: the records that follow are not kept either, and the
        // repair's outcome names them among the records not copied.
        failed_ = true;
        if (link_ != nullptr)
            link_->Log("Damaged records could not be written to " + path_ + ": " +
                       std::strerror(error != 0 ? error : EIO));
        return false;
    }
    if (!announced_) {
        announced_ = true;
        if (link_ != nullptr)
            link_->Log("Damaged records are set aside in " + path_);
    }
    return true;
}

}  // namespace ravelin::writer
