#include "writer/repairjob.h"

#include <filesystem>

#include "job/messagedialog.h"
#include "writer/blanktarget.h"

namespace ravelin::writer {

TargetWriterImpl::TargetWriterImpl(TableTransfer& transfer) : transfer_(transfer) {}

TargetWriterImpl::~TargetWriterImpl() = default;

void TargetWriterImpl::Fail(job::JobContext& job)
{
    job.state.connected = false;
    job.state.repairing = false;
    job.engine.connectionFailed = true;
    job::ShowMessageDialog(job.engine, job.dialogs);
}

void TargetWriterImpl::AttachTarget(job::JobContext& job)
{
    TargetLogin login;
    exactRestore_ = options_.exactRestore;
    if (options_.login) {
        login = *options_.login;
    } else {
        job::ConnectionAnswer answer;
        answer.exactRestore = options_.exactRestore;
        if (job.dialogs.ShowConnectionDialog(answer) != job::kAnswerOk)
            return;
        login = TargetLogin{answer.targetPath, answer.userName, answer.password};
        // The choice is offered again the next time.
        exactRestore_ = answer.exactRestore;
        options_.exactRestore = answer.exactRestore;
    }
    targetPath_ = login.targetPath;
    // The log and the tree name the repair after the target's file.
    job.state.databaseName = std::filesystem::path(LocalTargetPath(login.targetPath)).filename().string();

    if (options_.createTarget) {
        const std::string failure = CreateBlankTarget(login);
        if (!failure.empty()) {
            job.link.Log(kConnectionFailedLogText);
            job.link.Log(failure);
            job.link.Blank();
            Fail(job);
            return;
        }
    }
    connection_ = std::make_unique<TargetConnection>(&job.state.stopRequested, options_.cadence);
    if (!writer::AttachTarget(job, *connection_, login)) {
        connection_.reset();
        Fail(job);
    }
}

void TargetWriterImpl::RunRepair(job::JobContext& job)
{
    if (!connection_)
        return;
    RepairSession session{job, *connection_, transfer_, targetPath_, options_.repairNames, {}, {}};
    session.exact = exactRestore_;
    RepairSelectedObjects(session);
    options_.repairNames = std::move(session.repairNames);
    connection_.reset();
}

}  // namespace ravelin::writer
