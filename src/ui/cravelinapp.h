#pragma once

// The application object: exists once per process and owns what outlives a
// window: the job control with the engine, the worker bridge, the main frame
// and the single-instance guard. InitInstance runs the start-up in order:
// the single-instance test, the main frame shown maximised, the first file
// dialog (or a scan of the file named on the command line), and only then
// the registration as the first instance.

#include <memory>

#include <QStringList>

#include "ui/cinstancechecker.h"
#include "ui/frameadapter.h"
#include "ui/productsettings.h"

namespace ravelin::ui {

class CMainFrame;
class JobControlImpl;

class CRavelinApp {
public:
    CRavelinApp();
    // Stops a running job and lets it finish before the windows go.
    ~CRavelinApp();

    // Yields whether the application runs; false when another instance was
    // brought to the front instead. arguments as QCoreApplication::arguments().
    bool InitInstance(const QStringList& arguments);

    CMainFrame* MainFrame() const { return frame.get(); }
    JobControlImpl* Jobs() const { return jobs.get(); }

private:
    ProductSettings settings;
    CInstanceChecker instanceChecker;
    FrameAdapter adapter;
    std::unique_ptr<JobControlImpl> jobs;
    std::unique_ptr<CMainFrame> frame;
};

// Application name, icon and icon theme; call once after the QApplication
// exists.
void SetUpApplication();

}  // namespace ravelin::ui
