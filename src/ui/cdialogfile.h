#pragma once

// The file selection dialog: every recovery starts here. The user picks one
// database file (Select File), or lets the search worker look for database
// files below a mounted file system or the home folder ("Look in" with
// Search File(s)) or below a chosen folder (Select Folder), and clicks a
// result. Scan File starts the scan job and closes the dialog; while a
// search runs the same button reads "Stop".
//
// The search worker reports with UM_SEARCH_PROGRESS and UM_SEARCH_RESULTS
// through a worker bridge; the handlers run on the user-interface thread
// while the worker waits. Everything else runs on the user-interface thread.

#include <cstdint>
#include <string>
#include <vector>

#include <QDialog>
#include <QString>

#include "job/filesearch.h"
#include "job/searchroots.h"
#include "ui/frameadapter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QToolButton;

namespace ravelin::ui {

class JobControl;

class CDialogFile final : public QDialog, public MessageReceiver, public job::WorkerDialogs {
    Q_OBJECT
public:
    CDialogFile(QWidget* parent, JobControl& jobs);
    // A search still running is stopped (without its message box) and
    // waited for.
    ~CDialogFile() override;

    // Shows a new dialog modally over parent. In the dialogs' scripted mode
    // (tests) no window is shown: the next preloaded file counts as chosen
    // with Select File and is scanned with Scan File; no file closes it.
    static int Run(QWidget* parent, JobControl& jobs);

    // The search worker's messages (MessageReceiver).
    std::intptr_t HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    // The search worker's OK box (WorkerDialogs).
    int ShowMessageDialog(const std::string& text, job::MessageButtons buttons) override;
    int ShowMessageOk(const std::string& text) override;
    int ShowConnectionDialog(job::ConnectionAnswer& answer) override;

    // The buttons, as a click runs them.
    void SelectFile();
    void SearchFiles();
    void SelectFolder();
    void ScanFile();
    void ClearList();
    void CloseDialog();
    // A click on a row of the result list.
    void PickResult(int row);

    QComboBox* LookIn() const { return lookIn; }
    QLineEdit* FileType() const { return fileType; }
    QCheckBox* SubfoldersBox() const { return subfolders; }
    QTableWidget* ResultList() const { return resultList; }
    QLineEdit* SelectedPath() const { return selectedPath; }
    QPushButton* SelectFileButton() const { return selectFileButton; }
    QPushButton* SearchButton() const { return searchButton; }
    QPushButton* SelectFolderButton() const { return selectFolderButton; }
    QPushButton* ScanButton() const { return scanButton; }
    QPushButton* ClearButton() const { return clearButton; }
    QToolButton* CloseButton() const { return closeButton; }
    QProgressBar* Progress() const { return progress; }
    job::SearchState& Search() { return search; }
    // The file the next Scan File scans: full path and the name shown in
    // the log and the tree.
    const QString& DatabasePath() const { return databasePath; }
    const QString& DatabaseName() const { return databaseName; }

    // Sets the result list's column widths from its client width.
    void FitColumns();

protected:
    void reject() override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void StartSearch(const QString& startPath);
    void SearchProgress(std::uintptr_t wParam, std::intptr_t lParam);
    void ListResults();
    void SetSearchControlsEnabled(bool enabled);

    JobControl& jobs;
    FrameAdapter bridge;
    job::SearchState search;
    job::CSearchThread worker;
    std::vector<job::MountPoint> mounts;
    // Set while the dialog goes away: the worker's box is not shown then.
    bool closing = false;

    QString databasePath;
    QString databaseName;

    QComboBox* lookIn = nullptr;
    QLineEdit* fileType = nullptr;
    QCheckBox* subfolders = nullptr;
    QTableWidget* resultList = nullptr;
    QLineEdit* selectedPath = nullptr;
    QPushButton* selectFileButton = nullptr;
    QPushButton* searchButton = nullptr;
    QPushButton* selectFolderButton = nullptr;
    QPushButton* scanButton = nullptr;
    QPushButton* clearButton = nullptr;
    QToolButton* closeButton = nullptr;
    QProgressBar* progress = nullptr;
};

}  // namespace ravelin::ui
