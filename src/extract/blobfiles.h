#pragma once

// The files a repair writes for blob columns: their folder and names, the
// content type that gives a blob file its extension, and the temporary file
// each blob is first written to.
//
// Beside the target database (the blank database a repair fills) lies the
// blob folder, "BlobData_" followed by the target's file name. A BLOB
// column's value names a file in it by the table's name, "Blob" and a number
// (no extension); the blob's bytes are written to that name with a point and
// the content type's extension appended (a point and nothing when the type is
// not recognised). While a blob is written it sits in "Temp" + that name.
//
// Table names come from the damaged file and are not trusted as file names:
// BlobFileNameStem makes one safe, so that every name built here lies
// directly inside the blob folder.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::extract {

// Prefix of the blob folder's name.
inline constexpr std::string_view kBlobFolderPrefix = "BlobData_";
// Bytes of a blob's start that DetectBlobType looks at, at most.
inline constexpr std::size_t kBlobTypeBytes = 16;
// Longest table-name part of a file name, in bytes.
inline constexpr std::size_t kMaxNameStemBytes = 200;

// The blob folder of a target database: its folder, then "BlobData_" and its
// file name. /data/new.ib gives /data/BlobData_new.ib.
std::filesystem::path BlobFolderPath(const std::filesystem::path& targetPath);

// The table name made safe as the start of a file name: path separators (/
// and \), control characters, and the characters : * ? " < > | become "_";
// so do leading points, so that no name is "." or ".." or hidden; an empty
// name becomes "_". Longer names are cut at kMaxNameStemBytes, never inside
// a UTF-8 character. Other characters, letters of any script included, stay.
std::string BlobFileNameStem(std::string_view tableName);

// folder / (stem + "Blob" + number): the value a BLOB column receives.
std::filesystem::path BlobValuePath(const std::filesystem::path& folder, std::string_view tableName,
                                    std::uint32_t number);
// folder / (stem + "Blob" + number + "." + extension): the blob's file.
std::filesystem::path BlobFilePath(const std::filesystem::path& folder, std::string_view tableName,
                                   std::uint32_t number, std::string_view extension);
// folder / ("Temp" + stem + "Blob" + number + "." + extension).
std::filesystem::path TempBlobFilePath(const std::filesystem::path& folder, std::string_view tableName,
                                       std::uint32_t number, std::string_view extension);

// The extension for a blob's first four bytes, taken as one little-endian
// 32-bit value: "bmp" for 42 4D 36 00 and 42 4D B6 FC, "gif" for "GIF8",
// "pdf" for "%PDF", "png" for 89 "PNG", "jpeg" for FF D8 FF E0 and FF D8 FF
// E1; "" for anything else.
std::string DetectBlobType(std::uint32_t firstBytes);

// The extension for a blob's data, from its first bytes (up to
// kBlobTypeBytes) and its whole length in bytes: the four-byte table above;
// besides, "BM" followed by a 32-bit file size equal to the length is a
// "bmp"; and a picture behind the 8-byte header that graphic fields put
// before it (16-bit count 1, 16-bit kind, 32-bit size equal to the length
// less 8) gets the picture's extension.
std::string DetectBlobType(std::span<const std::byte> head, std::uint64_t length);

// Creates the blob folder (its parent must exist); true when it exists
// afterwards. errorText receives the system's reason otherwise.
bool EnsureBlobFolder(const std::filesystem::path& folder, std::string* errorText = nullptr);

// Moves the finished temporary file to the blob file's name
// (BlobFilePath(folder, tableName, number, extension)), replacing a file of
// that name. The temporary file is gone afterwards, also when the move
// failed; errorText then receives the system's reason.
bool CopyBlobFile(const std::filesystem::path& tempPath, const std::filesystem::path& folder,
                  std::string_view tableName, std::uint32_t number, std::string_view extension,
                  std::string* errorText = nullptr);

// Writes one blob file: bytes arrive in pieces; the first kBlobTypeBytes are
// held back until the content type is known, then the temporary file is
// created (or truncated; a link in its place is not followed) and written;
// Finish moves it to the blob file's name. Only the recovery worker uses it.
class BlobFileWriter {
public:
    // length: the blob's length as its header gives it (used by the content
    // type test only). extension, when given, names the file instead of the
    // content type test (the name a column already holds).
    BlobFileWriter(std::filesystem::path folder, std::string tableName, std::uint32_t number, std::uint64_t length,
                   std::optional<std::string> extension = std::nullopt);
    ~BlobFileWriter();
    BlobFileWriter(const BlobFileWriter&) = delete;
    BlobFileWriter& operator=(const BlobFileWriter&) = delete;

    // Appends bytes; false once a write has failed (errorText says why).
    bool Write(std::span<const std::byte> bytes);
    // Writes what is held back, closes the temporary file and moves it to
    // the blob file's name. False on a file error.
    bool Finish();
    // Closes the temporary file and leaves it where it is (a stopped pass).
    void Abandon();

    const std::string& extension() const { return extension_; }
    std::filesystem::path filePath() const;
    const std::string& errorText() const { return errorText_; }

private:
    bool Open();
    bool WriteOut(std::span<const std::byte> bytes);
    void Close();

    std::filesystem::path folder_;
    std::string tableName_;
    std::uint32_t number_ = 0;
    std::uint64_t length_ = 0;
    std::vector<std::byte> head_;  // bytes held back for the content type
    std::optional<std::string> fixedExtension_;
    std::string extension_;
    std::filesystem::path tempPath_;
    int fd_ = -1;
    bool opened_ = false;
    bool failed_ = false;
    std::string errorText_;
};

}  // namespace ravelin::extract
