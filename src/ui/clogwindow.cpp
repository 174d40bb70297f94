#include "ui/clogwindow.h"

#include <QApplication>
#include <QCloseEvent>

#include "job/logreport.h"
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

QString LogReportPath(const QString& chosen)
{
    if (chosen.right(4).compare(QLatin1String(".log"), Qt::CaseInsensitive) == 0)
        return chosen;
    return chosen + QStringLiteral(".log");
}

bool SaveLogReport(const QString& path, const QStringList& lines, QString& reason)
{
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(lines.size()));
    for (const QString& line : lines)
        texts.push_back(line.toStdString());
    std::string error;
    if (!job::WriteLogReport(path.toStdString(), texts, error)) {
        reason = QString::fromStdString(error);
        return false;
    }
    return true;
}

}  // namespace ravelin::ui
