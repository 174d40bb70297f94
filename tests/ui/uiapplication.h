#pragma once

// The desktop application's pieces wired as at start-up, for the tests and
// the screenshot tool that drive the real window: the job driver reporting
// through the worker bridge to a main frame.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTreeWidget>
#include <QtTest>

#include "ui/cleftview.h"
#include "ui/clogwindow.h"
#include "ui/cmainframe.h"
#include "ui/dialogs.h"
#include "ui/frameadapter.h"
#include "ui/jobcontrolimpl.h"
#include "ui/productsettings.h"

namespace ravelin::ui::testing {

inline QString Sample(const char* relative)
{
    return QDir::cleanPath(QDir(QStringLiteral(RAVELIN_SAMPLES_DIR)).filePath(QString::fromLatin1(relative)));
}

// The application's pieces wired as at start-up: the real job driver
// reporting through the worker bridge to a main frame.
struct Application {
    ProductSettings settings{QStringList{}};
    FrameAdapter adapter;
    JobControlImpl jobs{adapter, adapter};
    CMainFrame frame{jobs, settings};

    Application()
    {
        adapter.Bind(&frame, &frame);
        frame.resize(1200, 800);
        frame.show();
    }
    ~Application() { jobs.WaitIdle(); }

    bool WaitForJob()
    {
        QElapsedTimer timer;
        timer.start();
        while (jobs.State().busy) {
            if (timer.elapsed() > 120000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        // Let the enabling rules catch up with the finished job.
        QCoreApplication::processEvents();
        frame.UpdateCommands();
        return true;
    }
    QTreeWidgetItem* Item(const QString& text) const
    {
        const QList<QTreeWidgetItem*> found = frame.Tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    QStringList Log() const { return frame.LogWindow()->List()->Lines(); }
    // Open File with path chosen in the file dialog, and the scan.
    bool Open(const QString& path)
    {
        Dialogs::PushFile(path);
        frame.RunCommand(ID_OPEN_FILE);
        return WaitForJob();
    }
    // Previews the table named text with a click on its name.
    bool ClickName(const QString& text)
    {
        QTreeWidgetItem* item = Item(text);
        if (!item)
            return false;
        frame.Tree()->scrollToItem(item);
        QTest::mouseClick(frame.Tree()->viewport(), Qt::LeftButton, {}, frame.Tree()->LabelRect(item).center());
        return WaitForJob();
    }
};

}  // namespace ravelin::ui::testing
