// The set-aside file of a repair: its path beside the target, CSV quoting,
// one heading per table, and a file that cannot be written.

#include "writer/damagedrecords.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixture/recordingframe.h"
#include "writertesting.h"

namespace ravelin::writer {
namespace {

using testing::ReadAll;
using testing::TempFolder;

catalogue::TableNode Table(const std::string& name, std::vector<std::string> columns)
{
    catalogue::TableNode table;
    table.name = name;
    for (std::string& column : columns) {
        catalogue::COLUMN c;
        c.name = std::move(column);
        table.columns.push_back(std::move(c));
    }
    return table;
}

TEST(DamagedRecordFile, PathAndQuoting)
{
    EXPECT_EQ(DamagedRecordsPath("/data/blank.fdb"), "/data/blank.fdbDamaged.csv");
    EXPECT_EQ(DamagedRecordsPath("localhost:/data/blank.fdb"), "/data/blank.fdbDamaged.csv");
    const struct {
        std::vector<std::string> fields;
        std::string line;
    } cases[] = {
        {{"plain", "", "12"}, "plain,,12\r\n"},
        {{"a,b", "say \"hi\"", "two\nlines", "cr\r"}, "\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\"\r\n"},
        {{"gr\xc3\xbc\xc3\x9f"}, "gr\xc3\xbc\xc3\x9f\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CsvLine(c.fields), c.line);
}

TEST(DamagedRecordFile, EachTableIsHeadedOnceAndRecordsAreAdded)
{
    TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    const std::string path = folder.File("t.fdbDamaged.csv");
    fixture::RecordingFrame frame;
    job::WorkerLink link = frame.Link();
    DamagedRecordFile file(path);
    file.SetLink(&link);
    const catalogue::TableNode a = Table("A", {"ID", "NAME"});
    const catalogue::TableNode b = Table("B", {"X"});
    EXPECT_TRUE(file.SetAside(a, 90, 3, {"1", "x,y"}));
    EXPECT_TRUE(file.SetAside(a, 91, 0, {"2", ""}));
    EXPECT_TRUE(file.SetAside(b, 95, 7, {"9"}));
    EXPECT_EQ(ReadAll(path), "TABLE,PAGE,SLOT,ID,NAME\r\nA,90,3,1,\"x,y\"\r\nA,91,0,2,\r\n"
                             "TABLE,PAGE,SLOT,X\r\nB,95,7,9\r\n");
    EXPECT_EQ(frame.logLines, std::vector<std::string>{"Damaged records are set aside in " + path});
}

TEST(DamagedRecordFile, AFileThatCannotBeWrittenIsReportedAndKeepsNothing)
{
    TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    const std::string path = folder.File("no such folder/t.fdbDamaged.csv");
    fixture::RecordingFrame frame;
    job::WorkerLink link = frame.Link();
    DamagedRecordFile file(path);
    file.SetLink(&link);
    const catalogue::TableNode a = Table("A", {"ID"});
    EXPECT_FALSE(file.SetAside(a, 90, 3, {"1"}));
    EXPECT_FALSE(file.SetAside(a, 90, 4, {"2"}));
    ASSERT_EQ(frame.logLines.size(), 1u) << "the failure is logged once";
    EXPECT_EQ(frame.logLines[0].rfind("Damaged records could not be written to " + path + ": ", 0), 0u)
        << frame.logLines[0];
}

}  // namespace
}  // namespace ravelin::writer
