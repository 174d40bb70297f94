#pragma once

// The set-aside file of a repair: the damaged records it did not insert,
// with their readable cells, beside the target database so that nothing
// readable is lost. UTF-8 CSV (RFC 4180: fields with a comma, a quote or a
// line break are quoted, quotes doubled; CR LF line ends). Before the first
// record of each table a heading line names the fields: TABLE, PAGE, SLOT
// and the table's columns; each record is then its table, data page, slot
// and one cell per column (empty where the value is NULL or unreadable).
// The file is created by the first record set aside; an existing file is
// added to. Used on the recovery worker thread.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "extract/tabletransfer.h"
#include "job/frame.h"

namespace ravelin::writer {

// The set-aside file's path: the target path with "Damaged.csv" appended
// directly (blank.fdb gives blank.fdbDamaged.csv), on this machine as the
// side files are.
std::string DamagedRecordsPath(const std::string& targetPath);

// One CSV line: the fields joined by commas, quoted where needed, CR LF.
std::string CsvLine(const std::vector<std::string>& fields);

class DamagedRecordFile final : public extract::DamagedRecordSink {
public:
    explicit DamagedRecordFile(std::string path) : path_(std::move(path)) {}

    // Where the file's creation and a failed write are logged: the link of
    // the job now running.
    // Another job's link starts afresh: the file is tried again, announced
    // again and each table headed again.
    void SetLink(job::WorkerLink* link)
    {
        link_ = link;
        if (link != nullptr && link != lastLink_) {
            lastLink_ = link;
            failed_ = false;
            announced_ = false;
            headed_.clear();
        }
    }

    bool SetAside(const catalogue::TableNode& table, std::uint32_t page, std::uint16_t slot,
                  const std::vector<std::string>& cells) override;

    // The file's path.
    const std::string& Location() const override { return path_; }

private:
    bool Append(const std::string& text);

    std::string path_;
    job::WorkerLink* link_ = nullptr;
    job::WorkerLink* lastLink_ = nullptr;
    bool announced_ = false;
    bool failed_ = false;
    std::set<std::string> headed_;  // tables whose heading line is written
};

}  // namespace ravelin::writer
