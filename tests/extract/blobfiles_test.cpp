#include "extract/blobfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fixture/fixturewriter.h"
#include "ods/scratchdir.h"

namespace ravelin::extract {
namespace {

namespace fs = std::filesystem;
using fixture::Bytes;
using ods::testing::ScratchDir;

Bytes FileBytes(const fs::path& path)
{
    return fixture::ReadFileBytes(path).value_or(Bytes{});
}

// Every file below root, as paths relative to it.
std::vector<std::string> FilesBelow(const fs::path& root)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        files.push_back(fs::relative(entry.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

bool ValidUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size())
            return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += n;
    }
    return true;
}

TEST(BlobFolderPath, BesideTheTarget)
{
    EXPECT_EQ(BlobFolderPath("/data/new.ib"), fs::path("/data/BlobData_new.ib"));
    EXPECT_EQ(BlobFolderPath("/data/Repaired Target.gdb"), fs::path("/data/Repaired Target.gdb").parent_path() /
                                                               "BlobData_Repaired Target.gdb");
    EXPECT_EQ(BlobFolderPath("new.ib"), fs::path("BlobData_new.ib"));
}

TEST(BlobFileNames, FormsOfTheValueTheFileAndTheTemporaryFile)
{
    const fs::path folder("/data/BlobData_new.ib");
    EXPECT_EQ(BlobValuePath(folder, "T1", 6), folder / "T1Blob6");
    EXPECT_EQ(BlobFilePath(folder, "BIOLIFE", 12, "bmp"), folder / "BIOLIFEBlob12.bmp");
    // No content type: the name ends with the point.
    EXPECT_EQ(BlobFilePath(folder, "JOB", 1, ""), folder / "JOBBlob1.");
    EXPECT_EQ(TempBlobFilePath(folder, "JOB", 1, "png"), folder / "TempJOBBlob1.png");
}

// Table names read from a damaged file may hold anything.
TEST(BlobFileNames, HostileTableNamesStayInsideTheFolder)
{
    struct Case {
        std::string name;
        std::string stem;
    };
    const std::string longName = std::string(199, 'A') + "\xC3\xA9" + "tail";  // é across the 200-byte cut
    const Case cases[] = {
        {"../../etc/passwd", "______etc_passwd"},
        {"..", "__"},
        {".", "_"},
        {"", "_"},
        {"/absolute", "_absolute"},
        {"a\\b", "a_b"},
        {"line\nbreak\x01\x7f", "line_break__"},
        {".hidden", "_hidden"},
        {"A..B", "A..B"},
        {"C:*?\"<>|", "C_______"},
        {"NOM_\xC3\xA9T\xC3\xA9", "NOM_\xC3\xA9T\xC3\xA9"},
        {"EMPLOYEE_PROJECT", "EMPLOYEE_PROJECT"},
        {longName, std::string(199, 'A')},
    };
    const fs::path folder("/data/BlobData_new.ib");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string stem = BlobFileNameStem(c.name);
        EXPECT_EQ(stem, c.stem);
        EXPECT_TRUE(ValidUtf8(stem));
        EXPECT_LE(stem.size(), kMaxNameStemBytes);
        for (const fs::path& path : {BlobValuePath(folder, c.name, 1), BlobFilePath(folder, c.name, 1, "png"),
                                     TempBlobFilePath(folder, c.name, 1, "")}) {
            EXPECT_EQ(path.parent_path(), folder);
            EXPECT_NE(path.filename(), "..");
            EXPECT_NE(path.filename(), ".");
        }
    }
}

TEST(DetectBlobType, TheFourByteTable)
{
    struct Case {
        std::uint32_t value;
        const char* extension;
    };
    const Case cases[] = {
        {0x00364D42u, "bmp"}, {0xFCB64D42u, "bmp"}, {0x38464947u, "gif"}, {0x46445025u, "pdf"},
        {0x474E5089u, "png"}, {0xE0FFD8FFu, "jpeg"}, {0xE1FFD8FFu, "jpeg"},
        {0x00000000u, ""},    {0x01000001u, ""},     {0xDBFFD8FFu, ""},   {0x424D0036u, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(DetectBlobType(c.value), c.extension);
    }
}

TEST(DetectBlobType, FromTheFirstBytesAndTheLength)
{
    struct Case {
        const char* name;
        const char* hex;
        std::uint64_t length;
        const char* extension;
    };
    const Case cases[] = {
        {"png", "89504e470d0a1a0a", 100, "png"},
        {"pdf", "255044462d312e34", 100, "pdf"},
        {"jpeg", "ffd8ffe000104a46", 100, "jpeg"},
        {"bitmap of the length it names", "424df63e0000", 0x3ef6, "bmp"},
        {"bitmap naming another length", "424df63e0000", 0x3ef7, ""},
        {"graphic field header before a bitmap", "01000001f63e0000424df63e0000", 0x3ef6 + 8, "bmp"},
        {"graphic field header before a png", "01000001f63e000089504e47", 0x3ef6 + 8, "png"},
        {"graphic field header of another size", "01000001f63e0000424df63e0000", 0x3ef6 + 9, ""},
        {"graphic field header before text", "010000010500000048656c6c6f", 13, ""},
        {"text", "4d4241207265717569726564", 14, ""},
        {"three bytes", "424d36", 3, ""},
        {"nothing", "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DetectBlobType(fixture::FromHex(c.hex), c.length), c.extension);
    }
}

TEST(CopyBlobFile, ReplacesAnOlderFileAndRemovesTheTemporaryOne)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const fs::path temp = TempBlobFilePath(dir.path(), "T", 1, "gif");
    std::ofstream(temp) << "new bytes";
    std::ofstream(BlobFilePath(dir.path(), "T", 1, "gif")) << "an older, longer file";
    std::string error;
    ASSERT_TRUE(CopyBlobFile(temp, dir.path(), "T", 1, "gif", &error)) << error;
    EXPECT_EQ(FilesBelow(dir.path()), std::vector<std::string>{"TBlob1.gif"});
    EXPECT_EQ(FileBytes(dir.path() / "TBlob1.gif"), fixture::ToBytes("new bytes"));

    // A folder in the way: the error is reported and the temporary file goes.
    std::ofstream(temp) << "more";
    fs::create_directory(dir.path() / "TBlob2.gif");
    fs::create_directory(dir.path() / "TBlob2.gif" / "inside");
    const fs::path temp2 = TempBlobFilePath(dir.path(), "T", 2, "gif");
    fs::rename(temp, temp2);
    EXPECT_FALSE(CopyBlobFile(temp2, dir.path(), "T", 2, "gif", &error));
    EXPECT_NE(error.find("TBlob2.gif"), std::string::npos);
    EXPECT_FALSE(fs::exists(temp2));
}

TEST(BlobFileWriter, WritesThePiecesUnderTheDetectedType)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    struct Case {
        const char* name;
        Bytes data;
        std::size_t piece;
        const char* file;
    };
    Bytes png = fixture::FromHex("89504e470d0a1a0a0000000d49484452");
    png.resize(5000, std::byte{0x5a});
    const Case cases[] = {
        {"png in pieces of 7 bytes", png, 7, "TBlob1.png"},
        {"png in one piece", png, png.size(), "TBlob2.png"},
        {"text shorter than the bytes held back", fixture::ToBytes("short"), 2, "TBlob3."},
        {"empty blob", Bytes{}, 1, "TBlob4."},
    };
    std::uint32_t number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BlobFileWriter writer(dir.path(), "T", ++number, c.data.size());
        for (std::size_t at = 0; at < c.data.size(); at += c.piece)
            ASSERT_TRUE(writer.Write(std::span<const std::byte>(c.data).subspan(at, std::min(c.piece, c.data.size() - at))));
        ASSERT_TRUE(writer.Finish()) << writer.errorText();
        EXPECT_EQ(writer.filePath(), dir.path() / c.file);
        EXPECT_EQ(FileBytes(dir.path() / c.file), c.data);
    }
    EXPECT_EQ(FilesBelow(dir.path()),
              (std::vector<std::string>{"TBlob1.png", "TBlob2.png", "TBlob3.", "TBlob4."}));
}

TEST(BlobFileWriter, AFolderThatIsGoneGivesTheSystemsReason)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const fs::path folder = dir.path() / "BlobData_x.ib";
    BlobFileWriter writer(folder, "T", 1, 40);
    EXPECT_FALSE(writer.Write(Bytes(40, std::byte{'x'})));
    EXPECT_FALSE(writer.Write(Bytes(4, std::byte{'y'})));
    EXPECT_FALSE(writer.Finish());
    EXPECT_NE(writer.errorText().find("TempTBlob1."), std::string::npos);
    EXPECT_NE(writer.errorText().find("No such file"), std::string::npos);
    EXPECT_EQ(FilesBelow(dir.path()), std::vector<std::string>{});
}

TEST(BlobFileWriter, ALinkInThePlaceOfTheTemporaryFileIsNotFollowed)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const fs::path outside = dir.path() / "outside.txt";
    std::ofstream(outside) << "keep";
    const fs::path folder = dir.path() / "BlobData_x.ib";
    ASSERT_TRUE(EnsureBlobFolder(folder));
    fs::create_symlink(outside, TempBlobFilePath(folder, "T", 1, ""));
    BlobFileWriter writer(folder, "T", 1, 40);
    writer.Write(Bytes(40, std::byte{'x'}));
    EXPECT_FALSE(writer.Finish());
    EXPECT_EQ(FileBytes(outside), fixture::ToBytes("keep"));
}

TEST(EnsureBlobFolder, CreatesItOnceAndRefusesAFileInItsPlace)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const fs::path folder = BlobFolderPath(dir.path() / "new.ib");
    EXPECT_TRUE(EnsureBlobFolder(folder));
    EXPECT_TRUE(EnsureBlobFolder(folder));
    EXPECT_TRUE(fs::is_directory(folder));

    const fs::path blocked = BlobFolderPath(dir.path() / "other.ib");
    std::ofstream(blocked) << "a file";
    std::string error;
    EXPECT_FALSE(EnsureBlobFolder(blocked, &error));
    EXPECT_NE(error.find("BlobData_other.ib"), std::string::npos);
}

}  // namespace
}  // namespace ravelin::extract
