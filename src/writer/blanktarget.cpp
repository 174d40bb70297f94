#include "writer/blanktarget.h"

#include <filesystem>
#include <vector>

#include <ibase.h>

#include "ods/textcodec.h"
#include "writer/targetconnection.h"

namespace ravelin::writer {
namespace {

constexpr std::uint8_t kDpbPageSize = 4;
constexpr std::uint8_t kDpbSqlDialect = 63;
constexpr std::uint32_t kBlankPageSize = 8192;

void AppendNumber(std::vector<std::uint8_t>& dpb, std::uint8_t tag, std::uint32_t value)
{
    dpb.push_back(tag);
    dpb.push_back(4);
    for (int shift = 0; shift < 32; shift += 8)
        dpb.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::string StatusText(const ISC_STATUS* status)
{
    std::string text;
    const ISC_STATUS* cursor = status;
    char buffer[1024];
    while (fb_interpret(buffer, sizeof buffer, &cursor) > 0) {
        if (!text.empty())
            text += "; ";
        text += buffer;
    }
    return text;
}

}  // namespace

std::string CreateBlankTarget(const TargetLogin& login)
{
    if (login.targetPath.empty() || login.targetPath.find('\0') != std::string::npos)
        return "No path was given for the new target database.";
    if (!IsServerPath(login.targetPath)) {
        std::error_code error;
        if (std::filesystem::symlink_status(login.targetPath, error).type() != std::filesystem::file_type::not_found)
            return "The file " + login.targetPath +
                   " already exists; a new target database is only created where no file is.";
    }
    std::vector<std::uint8_t> dpb = BuildDatabaseParameters(login.userName, login.password);
    if (dpb.empty())
        return "The user name or the password is longer than 255 bytes.";
    AppendNumber(dpb, kDpbPageSize, kBlankPageSize);
    AppendNumber(dpb, kDpbSqlDialect, 3);

    ISC_STATUS_ARRAY status = {};
    isc_db_handle database = 0;
    if (isc_create_database(status, 0, login.targetPath.c_str(), &database, static_cast<short>(dpb.size()),
                            reinterpret_cast<const ISC_SCHAR*>(dpb.data()), 0) != 0)
        return "The database " + login.targetPath + " could not be created: " + StatusText(status);
    isc_detach_database(status, &database);
    return {};
}

}  // namespace ravelin::writer
