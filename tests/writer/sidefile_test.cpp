#include "writer/sidefile.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "writertesting.h"

namespace ravelin::writer {
namespace {

using testing::ReadAll;
using testing::TempFolder;

// The UTF-16LE bytes of an ASCII text.
std::string Wide(const std::string& ascii)
{
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST(SideFile, PathIsTheTargetPathWithTheKindAppended)
{
    const std::vector<std::tuple<std::string, SideFileKind, std::string>> cases = {
        {"/data/blank.ib", SideFileKind::Views, "/data/blank.ibViews.txt"},
        {"/data/blank.ib", SideFileKind::Indices, "/data/blank.ibIndices.txt"},
        {"relative.fdb", SideFileKind::Views, "relative.fdbViews.txt"},
        {"localhost:/data/blank.fdb", SideFileKind::Views, "/data/blank.fdbViews.txt"},
        {"db.example/3051:/srv/t.fdb", SideFileKind::Indices, "/srv/t.fdbIndices.txt"},
        {"[::1]:/srv/t.fdb", SideFileKind::Views, "/srv/t.fdbViews.txt"},
        {"inet://host:3051/srv/t.fdb", SideFileKind::Views, "/srv/t.fdbViews.txt"},
        {"/data/a:b/t.fdb", SideFileKind::Views, "/data/a:b/t.fdbViews.txt"},
    };
    for (const auto& [target, kind, expected] : cases) {
        SCOPED_TRACE(target);
        EXPECT_EQ(SideFilePath(target, kind), expected);
    }
}

TEST(SideFile, StatementsAreAppendedAsUtf16WithSemicolonAndTwoLineBreaks)
{
    TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    const std::string path = SideFilePath(folder.File("blank.ib"), SideFileKind::Views);

    ASSERT_TRUE(CreateSideFile(path, SideFileKind::Views));
    EXPECT_EQ(ReadAll(path), "");
    ASSERT_TRUE(AppendToSideFile("CREATE VIEW  V(X,Y)AS SELECT * FROM T", path));
    const std::string first = Wide("CREATE VIEW  V(X,Y)AS SELECT * FROM T;\r\n\r\n");
    EXPECT_EQ(ReadAll(path), first);

    // A second repair into the same target keeps what is there and appends.
    ASSERT_TRUE(CreateSideFile(path, SideFileKind::Views));
    EXPECT_EQ(ReadAll(path), first);
    ASSERT_TRUE(AppendToSideFile("CREATE VIEW  \xC3\x84(\xE2\x82\xAC)AS SELECT * FROM T", path));
    const std::string second = Wide("CREATE VIEW  ") + std::string("\xC4\x00", 2) + Wide("(") +
                               std::string("\xAC\x20", 2) + Wide(")AS SELECT * FROM T;\r\n\r\n");
    EXPECT_EQ(ReadAll(path), first + second);
}

TEST(SideFile, AFileThatCannotBeOpenedReceivesNothing)
{
    TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    const std::string missing = folder.File("never-created.ibIndices.txt");
    EXPECT_FALSE(AppendToSideFile("CREATE INDEX  IX ON T(A)", missing));
    EXPECT_FALSE(std::filesystem::exists(missing));

    const std::string noFolder = folder.File("no/such/folder/t.ibIndices.txt");
    EXPECT_FALSE(CreateSideFile(noFolder, SideFileKind::Indices));
    EXPECT_FALSE(std::filesystem::exists(noFolder));
}

}  // namespace
}  // namespace ravelin::writer
