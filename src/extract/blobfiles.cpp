#include "extract/blobfiles.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace ravelin::extract {
namespace {

std::uint32_t ReadLong(std::span<const std::byte> bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && at + i < bytes.size(); ++i)
        value |= std::to_integer<std::uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}

bool UnsafeInFileName(unsigned char c)
{
    if (c < 0x20 || c == 0x7F)
        return true;
    switch (c) {
    case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return true;
    default:
        return false;
    }
}

std::string NumberedName(std::string_view tableName, std::uint32_t number)
{
    return BlobFileNameStem(tableName) + "Blob" + std::to_string(number);
}

// The content type of a picture's first bytes; length: the picture's bytes.
std::string PictureType(std::span<const std::byte> head, std::uint64_t length)
{
    if (head.size() < 4)
        return {};
    if (std::string type = DetectBlobType(ReadLong(head, 0)); !type.empty())
        return type;
    // A bitmap file starts with "BM" and its own size.
    if (head.size() >= 6 && head[0] == std::byte{'B'} && head[1] == std::byte{'M'} && length >= 6 &&
        ReadLong(head, 2) == length) {
        return "bmp";
    }
    return {};
}

std::string SystemText(int error)
{
    return std::generic_category().message(error);
}

}  // namespace

std::filesystem::path BlobFolderPath(const std::filesystem::path& targetPath)
{
    return targetPath.parent_path() / (std::string(kBlobFolderPrefix) + targetPath.filename().string());
}

std::string BlobFileNameStem(std::string_view tableName)
{
    std::string stem;
    bool leading = true;
    for (const char ch : tableName) {
        const auto c = static_cast<unsigned char>(ch);
        if (UnsafeInFileName(c) || (leading && c == '.')) {
            stem += '_';
        } else {
            stem += ch;
            leading = false;
        }
    }
    if (stem.size() > kMaxNameStemBytes) {
        std::size_t cut = kMaxNameStemBytes;
        // Step back over continuation bytes so no UTF-8 character is split.
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0u) == 0x80u)
            --cut;
        stem.resize(cut);
    }
    if (stem.empty())
        stem = "_";
    return stem;
}

std::filesystem::path BlobValuePath(const std::filesystem::path& folder, std::string_view tableName,
                                    std::uint32_t number)
{
    return folder / NumberedName(tableName, number);
}

std::filesystem::path BlobFilePath(const std::filesystem::path& folder, std::string_view tableName,
                                   std::uint32_t number, std::string_view extension)
{
    return folder / (NumberedName(tableName, number) + "." + std::string(extension));
}

std::filesystem::path TempBlobFilePath(const std::filesystem::path& folder, std::string_view tableName,
                                       std::uint32_t number, std::string_view extension)
{
    return folder / ("Temp" + NumberedName(tableName, number) + "." + std::string(extension));
}

std::string DetectBlobType(std::uint32_t firstBytes)
{
    switch (firstBytes) {
    case 0x00364D42u:  // "BM6" 00
    case 0xFCB64D42u:  // "BM" B6 FC
        return "bmp";
    case 0x38464947u:  // "GIF8"
        return "gif";
    case 0x46445025u:  // "%PDF"
        return "pdf";
    case 0x474E5089u:  // 89 "PNG"
        return "png";
    case 0xE0FFD8FFu:  // FF D8 FF E0
    case 0xE1FFD8FFu:  // FF D8 FF E1
        return "jpeg";
    default:
        return {};
    }
}

std::string DetectBlobType(std::span<const std::byte> head, std::uint64_t length)
{
    if (std::string type = PictureType(head, length); !type.empty())
        return type;
    // Graphic field header: count 1, a kind, the picture's size; the picture follows.
    constexpr std::size_t kGraphicHeader = 8;
    if (head.size() > kGraphicHeader && head[0] == std::byte{1} && head[1] == std::byte{0} &&
        length > kGraphicHeader && ReadLong(head, 4) == length - kGraphicHeader) {
        return PictureType(head.subspan(kGraphicHeader), length - kGraphicHeader);
    }
    return {};
}

bool EnsureBlobFolder(const std::filesystem::path& folder, std::string* errorText)
{
    std::error_code ec;
    std::filesystem::create_directory(folder, ec);
    if (std::filesystem::is_directory(folder))
        return true;
    if (errorText)
        *errorText = folder.string() + ": " + (ec ? ec.message() : SystemText(ENOTDIR));
    return false;
}

bool CopyBlobFile(const std::filesystem::path& tempPath, const std::filesystem::path& folder,
                  std::string_view tableName, std::uint32_t number, std::string_view extension,
                  std::string* errorText)
{
    const std::filesystem::path target = BlobFilePath(folder, tableName, number, extension);
    std::error_code ec;
    // rename replaces a file of the target's name in one step.
    std::filesystem::rename(tempPath, target, ec);
    if (!ec)
        return true;
    if (errorText)
        *errorText = target.string() + ": " + ec.message();
    std::error_code ignored;
    std::filesystem::remove(tempPath, ignored);
    return false;
}

BlobFileWriter::BlobFileWriter(std::filesystem::path folder, std::string tableName, std::uint32_t number,
                               std::uint64_t length, std::optional<std::string> extension)
    : folder_(std::move(folder)),
      tableName_(std::move(tableName)),
      number_(number),
      length_(length),
      fixedExtension_(std::move(extension))
{
}

BlobFileWriter::~BlobFileWriter()
{
    Close();
}

std::filesystem::path BlobFileWriter::filePath() const
{
    return BlobFilePath(folder_, tableName_, number_, extension_);
}

bool BlobFileWriter::Open()
{
    opened_ = true;
    extension_ = fixedExtension_ ? *fixedExtension_ : DetectBlobType(head_, length_);
    tempPath_ = TempBlobFilePath(folder_, tableName_, number_, extension_);
    fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        failed_ = true;
        errorText_ = tempPath_.string() + ": " + SystemText(errno);
        return false;
    }
    std::vector<std::byte> held;
    held.swap(head_);
    return WriteOut(held);
}

bool BlobFileWriter::WriteOut(std::span<const std::byte> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            failed_ = true;
            errorText_ = tempPath_.string() + ": " + SystemText(written < 0 ? errno : ENOSPC);
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

bool BlobFileWriter::Write(std::span<const std::byte> bytes)
{
    if (failed_)
        return false;
    if (!opened_) {
        const std::size_t take = std::min(bytes.size(), kBlobTypeBytes - head_.size());
        head_.insert(head_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
        bytes = bytes.subspan(take);
        if (head_.size() < kBlobTypeBytes)
            return true;
        if (!Open())
            return false;
    }
    return WriteOut(bytes);
}

void BlobFileWriter::Close()
{
    if (fd_ >= 0) {
        if (::close(fd_) != 0 && !failed_) {
            failed_ = true;
            errorText_ = tempPath_.string() + ": " + SystemText(errno);
        }
        fd_ = -1;
    }
}

bool BlobFileWriter::Finish()
{
    if (!failed_ && !opened_)
        Open();
    Close();
    if (failed_) {
        std::error_code ignored;
        if (!tempPath_.empty())
            std::filesystem::remove(tempPath_, ignored);
        return false;
    }
    if (!CopyBlobFile(tempPath_, folder_, tableName_, number_, extension_, &errorText_)) {
        failed_ = true;
        return false;
    }
    return true;
}

void BlobFileWriter::Abandon()
{
    Close();
}

}  // namespace ravelin::extract
