#pragma once

// The target side of a repair job for the job driver: asks for the target
// and the account (or takes them from the command line), optionally creates
// a blank target, attaches, and runs the repair of the checked names.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "job/jobsteps.h"
#include "writer/repair.h"
#include "writer/targetconnection.h"

namespace ravelin::writer {

struct RepairOptions {
    std::vector<std::string> repairNames;  // checked tables, views and indices, in tree order
    CommitCadence cadence;
    // Given: no connection dialog is shown (the command line).
    std::optional<TargetLogin> login;
    // Create the blank target first; an existing file is never replaced.
    bool createTarget = false;
    // An exact restore (also when the connection dialog chose one).
    bool exactRestore = false;
};

class TargetWriterImpl final : public job::TargetWriter {
public:
    // transfer copies a table's records; it must outlive the jobs.
    explicit TargetWriterImpl(TableTransfer& transfer);
    ~TargetWriterImpl() override;

    // Only while no job runs.
    void SetOptions(RepairOptions options) { options_ = std::move(options); }
    const RepairOptions& Options() const { return options_; }

    void AttachTarget(job::JobContext& job) override;
    void RunRepair(job::JobContext& job) override;

private:
    void Fail(job::JobContext& job);

    TableTransfer& transfer_;
    RepairOptions options_;
    std::unique_ptr<TargetConnection> connection_;
    std::string targetPath_;
    bool exactRestore_ = false;  // the run's choice
};

}  // namespace ravelin::writer
