// The writer against a Firebird server on the loopback interface. Each test
// starts its own private server (tests/writer/fbserver.sh) with a known
// SYSDBA password and stops it at the end; the tests skip, saying why, when
// no server can be started on this machine.

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "writer/blanktarget.h"
#include "writer/repair.h"
#include "writer/targetconnection.h"
#include "writertesting.h"

namespace ravelin::writer {
namespace {

using testing::JobHarness;
using testing::ReadAll;
using testing::RunIsql;
using testing::TempFolder;
using testing::Words;

constexpr const char* kPassword = "s3cret-pw";

// A port on the loopback interface that nothing listens on right now.
int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

std::string Shell(const std::string& command, int& status)
{
    std::string output;
    if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
        char buffer[1024];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        status = ::pclose(pipe);
    } else {
        status = -1;
    }
    return output;
}

class ServerTarget : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.Ok());
        serverDir = folder.File("server");
        port = FreePort();
        ASSERT_NE(port, 0);
        int status = 0;
        const std::string output = Shell(std::string("'") + RAVELIN_FBSERVER_SCRIPT + "' start '" + serverDir + "' " +
                                             std::to_string(port) + " '" + kPassword + "'",
                                         status);
        if (status != 0)
            GTEST_SKIP() << "no Firebird server could be started here: " << output;
        started = true;
    }
    void TearDown() override { StopServer(); }

    void StopServer()
    {
        if (!started)
            return;
        int status = 0;
        Shell(std::string("'") + RAVELIN_FBSERVER_SCRIPT + "' stop '" + serverDir + "'", status);
        started = false;
    }

    // The server's name for a database file in the scratch folder.
    std::string ServerPath(const std::string& name) const
    {
        return "127.0.0.1/" + std::to_string(port) + ":" + folder.File(name);
    }
    TargetLogin Login(const std::string& name, const std::string& password = kPassword) const
    {
        return TargetLogin{ServerPath(name), "SYSDBA", password};
    }

    TempFolder folder;
    std::string serverDir;
    int port = 0;
    bool started = false;
};

TEST_F(ServerTarget, RefusedLoginsAndAMissingServerFailWithTheConnectionLines)
{
    ASSERT_EQ(CreateBlankTarget(Login("blank.fdb")), "");
    struct Case {
        const char* title;
        TargetLogin login;
        const char* reasonPart;
    };
    const std::vector<Case> cases = {
        {"wrong password", Login("blank.fdb", "wrong"), "user name and password are not defined"},
        {"unknown user", TargetLogin{ServerPath("blank.fdb"), "NOBODY", kPassword},
         "user name and password are not defined"},
        {"no server on the port",
         TargetLogin{"127.0.0.1/" + std::to_string(FreePort()) + ":" + folder.File("blank.fdb"), "SYSDBA", kPassword},
         "Unable to complete network request"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        JobHarness h;
        h.state.repairing = true;
        TargetConnection target;
        EXPECT_FALSE(AttachTarget(h.job, target, c.login));
        EXPECT_FALSE(h.state.connected);
        EXPECT_FALSE(h.state.repairing);
        EXPECT_NE(target.LastSqlCode(), 0);
        ASSERT_EQ(h.frame.logLines.size(), 4u);
        EXPECT_EQ(h.frame.logLines[0], "Connection Failed.");
        EXPECT_EQ(h.frame.logLines[1],
                  "Either User Name, Password may be wrong or Services for IB Manager may not be started");
        EXPECT_NE(h.frame.logLines[2].find(c.reasonPart), std::string::npos) << h.frame.logLines[2];
    }
    const std::string refused = CreateBlankTarget(Login("other.fdb", "wrong"));
    EXPECT_NE(refused.find("could not be created"), std::string::npos) << refused;
}

// Sends `before` INSERTs, runs between(), then sends `after` more.
class InsertingTransfer final : public TableTransfer {
public:
    int before = 0;
    int after = 0;
    std::function<void()> between;
    std::vector<std::string> tables;
    int succeeded = 0;

    void TransferTableData(job::JobContext& job, TargetDatabase& target, const std::string&) override
    {
        tables.push_back(job.state.repairedTableName);
        for (int i = 0; i < before + after; ++i) {
            if (i == before && between)
                between();
            if (target.ExecuteInsert("INSERT INTO " + job.state.repairedTableName + "(ID) VALUES (" +
                                     std::to_string(i) + ")"))
                ++succeeded;
        }
        job.engine.repairSucceeded = true;
    }
};

catalogue::TableNode IdTable(const std::string& name)
{
    catalogue::COLUMN id;
    id.name = "ID";
    id.fieldSource = "S_ID";
    id.typeName = "INTEGER";
    id.typeCode = catalogue::kTypeInteger;
    id.length = 4;
    catalogue::TableNode table;
    table.name = name;
    table.columns = {id};
    return table;
}

TEST_F(ServerTarget, ARepairLandsItsRowsThroughTheServer)
{
    const TargetLogin login = Login("blank.fdb");
    ASSERT_EQ(CreateBlankTarget(login), "");
    JobHarness h;
    h.engine.model.tables = {IdTable("T1")};
    catalogue::ViewNode view;
    view.name = "V1";
    view.columns = {catalogue::VIEWCOLUMN{"ID", "S_ID", "", 0}};
    h.engine.model.views = {view};
    TargetConnection target(&h.state.stopRequested, CommitCadence{100});
    ASSERT_TRUE(AttachTarget(h.job, target, login));
    InsertingTransfer transfer;
    transfer.before = 250;
    RepairSession session{h.job, target, transfer, login.targetPath, {"T1", "V1"}, {}, {}};
    RepairSelectedObjects(session);

    EXPECT_TRUE(h.engine.repairSucceeded);
    EXPECT_EQ(transfer.succeeded, 250);
    EXPECT_EQ(h.engine.viewCount, 1);
    // The side file of a server path is written at the server's file path.
    EXPECT_FALSE(ReadAll(folder.File("blank.fdbViews.txt")).empty());
    EXPECT_EQ(Words(RunIsql(login.targetPath, "SELECT COUNT(*), MIN(ID), MAX(ID) FROM V1;", kPassword)),
              (std::vector<std::string>{"250", "0", "249"}));
}

TEST_F(ServerTarget, AServerStoppedMidRepairEndsTheRepairWithItsReason)
{
    struct Case {
        std::uint32_t perCommit;
        std::uint64_t lostAtCommit;  // INSERTs reported as done whose batch never committed
        const char* landed;          // rows found in the target afterwards
    };
    const std::vector<Case> cases = {{1, 0, "30"}, {1000, 30, "0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE("statements per commit: " + std::to_string(c.perCommit));
        if (!started)
            SetUp();
        ASSERT_TRUE(started);
        const std::string file = "stopped" + std::to_string(c.perCommit) + ".fdb";
        const TargetLogin login = Login(file);
        ASSERT_EQ(CreateBlankTarget(login), "");
        JobHarness h;
        h.engine.model.tables = {IdTable("T1"), IdTable("T2")};
        TargetConnection target(&h.state.stopRequested, CommitCadence{c.perCommit});
        ASSERT_TRUE(AttachTarget(h.job, target, login));
        InsertingTransfer transfer;
        transfer.before = 30;
        transfer.after = 30;
        transfer.between = [this] { StopServer(); };
        RepairSession session{h.job, target, transfer, login.targetPath, {"T1", "T2"}, {}, {}};
        RepairSelectedObjects(session);

        EXPECT_EQ(transfer.tables, std::vector<std::string>{"T1"});
        EXPECT_EQ(transfer.succeeded, 30);
        EXPECT_TRUE(target.Lost());
        EXPECT_FALSE(target.Attached());
        EXPECT_FALSE(h.engine.repairSucceeded);
        EXPECT_TRUE(h.Logged("Connection Failed."));
        EXPECT_TRUE(h.Logged("The target database stopped answering; the repair ends here: "));
        EXPECT_EQ(target.InsertsLostAtCommit(), c.lostAtCommit);
        EXPECT_EQ(h.Logged("Records whose batch the target could not commit and that failed again on their own: " +
                           std::to_string(c.lostAtCommit)),
                  c.lostAtCommit != 0);
        // T1 was never marked as repaired.
        EXPECT_EQ(h.Marks(), std::vector<std::string>{"0,1"});
        // With the server gone the file opens in the embedded engine.
        EXPECT_EQ(Words(RunIsql(folder.File(file), "SELECT COUNT(*) FROM T1;")),
                  std::vector<std::string>{c.landed});
    }
}

}  // namespace
}  // namespace ravelin::writer
