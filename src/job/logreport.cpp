#include "job/logreport.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "ods/textcodec.h"

namespace ravelin::job {

std::string EncodeLogReport(const std::vector<std::string>& lines)
{
    static constexpr char kLineEnd[] = {'\r', '\0', '\n', '\0'};
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += ods::Utf8ToUtf16Le(line);
        bytes.append(kLineEnd, sizeof kLineEnd);
    }
    return bytes;
}

bool WriteLogReport(const std::string& path, const std::vector<std::string>& lines, std::string& errorText)
{
    const std::string bytes = EncodeLogReport(lines);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        errorText = "cannot create the report file " + path + ": " + std::strerror(errno);
        return false;
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        errorText = "cannot write the report file " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace ravelin::job
