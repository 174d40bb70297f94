#include "ui/cravelinapp.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QScreen>

#include "ui/blankdatabase.h"
#include "ui/cmainframe.h"
#include "ui/jobcontrolimpl.h"
#include "ui/uitext.h"

// The pictures are compiled into the static library; the program registers
// them once.
static void InitResources()
{
    Q_INIT_RESOURCE(ravelin);
}

namespace ravelin::ui {

void SetUpApplication()
{
    InitResources();
    QApplication::setApplicationName(QString::fromLatin1(text::kAppTitle));
    QApplication::setApplicationDisplayName(QString::fromLatin1(text::kAppTitle));
    QApplication::setDesktopFileName(QStringLiteral("ravelin"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/ravelin-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}

CRavelinApp::CRavelinApp() : instanceChecker(QString::fromLatin1(text::kAppTitle)) {}

CRavelinApp::~CRavelinApp()
{
    // The worker's last messages go to the frame: the jobs end first.
    jobs.reset();
    frame.reset();
}

bool CRavelinApp::InitInstance(const QStringList& arguments)
{
    if (instanceChecker.ActivatePreviousInstance())
        return false;

    jobs = std::make_unique<JobControlImpl>(adapter, adapter);
    frame = std::make_unique<CMainFrame>(*jobs, settings);
    frame->blankDatabaseCreator = CreateBlankDatabase;
    adapter.Bind(frame.get(), frame.get());
    frame->setWindowTitle(QString::fromLatin1(text::kAppTitle));
    // Maximised; where no window manager maximises, the window still covers
    // the screen's available area.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        frame->setGeometry(screen->availableGeometry());
    frame->showMaximized();

    // A file named on the command line is scanned at once; otherwise the
    // file dialog opens over the main window.
    const QStringList files = arguments.mid(1);
    if (!files.isEmpty() && QFileInfo(files.first()).isFile()) {
        const QFileInfo file(files.first());
        jobs->StartScan(file.absoluteFilePath().toStdString(), file.fileName().toStdString());
    } else {
        frame->RunCommand(ID_OPEN_FILE);
    }

    CMainFrame* window = frame.get();
    instanceChecker.TrackFirstInstance([window] { RaiseWindow(window); });
    return true;
}

}  // namespace ravelin::ui
