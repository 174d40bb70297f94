#include "ui/clogwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QSaveFile>

#include "ui/uitext.h"

namespace ravelin::ui {

COutputList::COutputList(QWidget* parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("COutputList"));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setSortingEnabled(false);
}

void COutputList::AppendLine(const QString& line)
{
    addItem(line);
    // The interface's regular font, applied again as each line arrives.
    setFont(QApplication::font(this));
}

QStringList COutputList::Lines() const
{
    QStringList lines;
    lines.reserve(count());
    for (int i = 0; i < count(); ++i)
        lines << item(i)->text();
    return lines;
}

CLogWindow::CLogWindow(QWidget* parent) : QDockWidget(QString::fromLatin1(text::kLogWindowTitle), parent)
{
    setObjectName(QStringLiteral("CLogWindow"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);
    setAllowedAreas(Qt::AllDockWidgetAreas);
    list = new COutputList(this);
    setWidget(list);
}

void CLogWindow::closeEvent(QCloseEvent* event)
{
    QDockWidget::closeEvent(event);
    if (event->isAccepted())
        emit ClosedByUser();
}

QByteArray LogReportBytes(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        for (const QChar unit : line) {
            const char16_t code = unit.unicode();
            bytes.append(static_cast<char>(code & 0xFF));
            bytes.append(static_cast<char>(code >> 8));
        }
        bytes.append("\x0D\x00\x0A\x00", 4);
    }
    return bytes;
}

QString LogReportPath(const QString& chosen)
{
    if (chosen.right(4).compare(QLatin1String(".log"), Qt::CaseInsensitive) == 0)
        return chosen;
    return chosen + QStringLiteral(".log");
}

bool WriteLogReport(const QString& path, const QStringList& lines, QString& reason)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString();
        return false;
    }
    const QByteArray bytes = LogReportBytes(lines);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}

}  // namespace ravelin::ui
