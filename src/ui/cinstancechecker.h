#pragma once

// The single-instance guard. The first instance, once its first file dialog
// has closed, listens on a local socket named after the application (and the
// user); a later start connects to it, asks it to bring its window to the
// front, and ends without showing a window of its own.

#include <functional>

#include <QObject>
#include <QString>

class QLocalServer;

namespace ravelin::ui {

class CInstanceChecker final : public QObject {
    Q_OBJECT
public:
    // applicationTitle names the guard ("Ravelin").
    explicit CInstanceChecker(const QString& applicationTitle, QObject* parent = nullptr);
    ~CInstanceChecker() override;

    // The socket name the guard uses.
    QString Name() const { return name; }

    // Whether a first instance runs; when one does, it has been asked to
    // bring its window to the front.
    bool ActivatePreviousInstance();

    // Registers this process as the first instance; raise runs (on this
    // thread) whenever a later start asks for the window. Yields false when
    // another instance registered first.
    bool TrackFirstInstance(std::function<void()> raise);

private:
    QString name;
    QLocalServer* server = nullptr;
    std::function<void()> raise;
};

// Brings a top-level window to the front, restoring it when minimised.
void RaiseWindow(class QWidget* window);

}  // namespace ravelin::ui
