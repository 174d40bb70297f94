#pragma once

// The log pane docked at the bottom of the main window: one list of text
// lines in arrival order, never edited line by line, and the log report
// written from it.

#include <QDockWidget>
#include <QListWidget>

namespace ravelin::ui {

// The list of log lines.
class COutputList final : public QListWidget {
    Q_OBJECT
public:
    explicit COutputList(QWidget* parent = nullptr);
    // Appends one line (an empty text is an empty separator line).
    void AppendLine(const QString& line);
    QStringList Lines() const;
};

class CLogWindow final : public QDockWidget {
    Q_OBJECT
public:
    explicit CLogWindow(QWidget* parent = nullptr);
    COutputList* List() const { return list; }

signals:
    // The pane's own close button hid it.
    void ClosedByUser();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    COutputList* list = nullptr;
};

// The report path for a name the user chose: ".log" is appended unless the
// name already ends with it (in any letter case).
QString LogReportPath(const QString& chosen);

// Writes the log report of lines (UTF-16 little-endian, each line ended by
// CR LF, no byte-order mark), creating or truncating the file; on failure
// yields false with the reason.
bool SaveLogReport(const QString& path, const QStringList& lines, QString& reason);

}  // namespace ravelin::ui
