#include "writer/repairjob.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "job/jobdriver.h"
#include "writertesting.h"

namespace ravelin::writer {
namespace {

using testing::IsqlAvailable;
using testing::ReadAll;
using testing::RunIsql;
using testing::TempFolder;
using testing::Words;

class RecordingDialogs final : public job::WorkerDialogs {
public:
    std::vector<std::string> messages;
    int connectionCalls = 0;
    int connectionAnswer = job::kAnswerNo;
    job::ConnectionAnswer answer;

    int ShowMessageDialog(const std::string& text, job::MessageButtons) override
    {
        messages.push_back(text);
        return job::kAnswerOk;
    }
    int ShowMessageOk(const std::string& text) override
    {
        messages.push_back(text);
        return job::kAnswerOk;
    }
    int ShowConnectionDialog(job::ConnectionAnswer& out) override
    {
        ++connectionCalls;
        out = answer;
        return connectionAnswer;
    }
};

// Keeps the log lines the driver sends (from the job state's log line).
class LogFrame final : public job::Frame {
public:
    const job::JobState* state = nullptr;
    std::vector<std::string> logLines;
    std::intptr_t Send(std::uint32_t message, std::uintptr_t, std::intptr_t) override
    {
        if (message == job::UM_LOG_LINE && state != nullptr)
            logLines.push_back(state->currentLogLine);
        return 0;
    }
};

// Ten rows per table.
class TenRows final : public TableTransfer {
public:
    void TransferTableData(job::JobContext& job, TargetDatabase& target, const std::string&) override
    {
        for (int i = 1; i <= 10; ++i)
            target.ExecuteInsert("INSERT INTO " + job.state.repairedTableName + "(ID) VALUES (" + std::to_string(i) +
                                 ")");
        job.engine.repairSucceeded = true;
    }
};

class RepairJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!IsqlAvailable())
            GTEST_SKIP() << "isql-fb is not installed: the repair job tests need the Firebird utilities";
        ASSERT_TRUE(folder.Ok());
        frame.state = &driver.State();
        driver.SetTargetWriter(writer);
        catalogue::SchemaModel& model = driver.Engine().model;
        catalogue::COLUMN id;
        id.name = "ID";
        id.fieldSource = "S_ID";
        id.typeName = "INTEGER";
        id.typeCode = catalogue::kTypeInteger;
        id.length = 4;
        model.tables = {catalogue::TableNode{"T1", 130, 1, {id}}};
        model.views = {catalogue::ViewNode{"V1", {catalogue::VIEWCOLUMN{"ID", "S_ID", "", 0}}}};
        model.indices = {catalogue::IndexNode{"IX1", "T1", "", {"ID"}}};
    }

    job::JobOutcome Run(RepairOptions options)
    {
        writer.SetOptions(std::move(options));
        EXPECT_TRUE(driver.StartRepair());
        driver.Wait();
        return driver.Outcome();
    }

    bool Logged(const std::string& line) const
    {
        return std::find(frame.logLines.begin(), frame.logLines.end(), line) != frame.logLines.end();
    }

    TempFolder folder;
    LogFrame frame;
    RecordingDialogs dialogs;
    TenRows transfer;
    TargetWriterImpl writer{transfer};
    job::JobDriver driver{frame, dialogs};
};

TEST_F(RepairJob, ACompleteRepairIntoANewTarget)
{
    RepairOptions options;
    options.repairNames = {"T1", "V1", "IX1"};
    options.login = TargetLogin{folder.File("new.fdb"), "SYSDBA", "masterkey"};
    options.createTarget = true;
    options.cadence.statementsPerCommit = 4;
    EXPECT_EQ(Run(options), job::JobOutcome::Completed);

    EXPECT_EQ(dialogs.connectionCalls, 0);
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Repair process completed successfully."});
    EXPECT_TRUE(Logged("Connection Create Successfully. "));
    EXPECT_TRUE(Logged("Repairing is being in process, for.............................. new.fdb"));
    EXPECT_TRUE(Logged("Views recovered   :1"));
    EXPECT_EQ(Words(RunIsql(folder.File("new.fdb"), "SELECT COUNT(*), SUM(ID) FROM V1;")),
              (std::vector<std::string>{"10", "55"}));
    EXPECT_FALSE(ReadAll(folder.File("new.fdbIndices.txt")).empty());
}

TEST_F(RepairJob, CancelInTheConnectionDialogDoesNothing)
{
    dialogs.connectionAnswer = job::kAnswerNo;
    RepairOptions options;
    options.repairNames = {"T1"};
    EXPECT_EQ(Run(options), job::JobOutcome::NotConnected);
    EXPECT_EQ(dialogs.connectionCalls, 1);
    EXPECT_TRUE(frame.logLines.empty());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(RepairJob, TargetsThatCannotBeUsedEndTheRepairWithConnectionFailed)
{
    const std::string existing = folder.File("existing.fdb");
    {
        std::ofstream out(existing);
        out << "not mine";
    }
    struct Case {
        const char* title;
        std::string path;
        bool create;
        const char* reasonPart;
    };
    const std::vector<Case> cases = {
        {"missing file chosen in the dialog", folder.File("missing.fdb"), false, "No such file"},
        {"new target over an existing file", existing, true, "already exists"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        frame.logLines.clear();
        dialogs.messages.clear();
        dialogs.connectionAnswer = job::kAnswerOk;
        dialogs.answer = job::ConnectionAnswer{c.path, "SYSDBA", "masterkey"};
        RepairOptions options;
        options.repairNames = {"T1"};
        options.createTarget = c.create;
        EXPECT_EQ(Run(options), job::JobOutcome::NotConnected);
        EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Connection failed"});
        ASSERT_FALSE(frame.logLines.empty());
        EXPECT_EQ(frame.logLines.front(), "Connection Failed.");
        bool reasonLogged = false;
        for (const std::string& line : frame.logLines)
            reasonLogged = reasonLogged || line.find(c.reasonPart) != std::string::npos;
        EXPECT_TRUE(reasonLogged);
        EXPECT_FALSE(Logged("Repairing process started on: "));
    }
    EXPECT_EQ(ReadAll(existing), "not mine");
}

}  // namespace
}  // namespace ravelin::writer
