#pragma once

// The bridge between the recovery worker and the windows. The worker calls
// Send and the dialog functions from its own thread; each call is carried to
// the user-interface thread as a blocking queued invocation, so the worker
// waits until the handler (or the modal dialog) has finished there and the
// handler reads the shared job state while the worker is blocked. A call made
// on the user-interface thread itself (the start-up header line, Clear Log)
// runs the handler directly.
//
// Handlers never wait for the worker; the user-interface thread must keep
// running its event loop while a job runs (a modal dialog's loop counts).

#include <cstdint>
#include <type_traits>

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include "job/frame.h"

namespace ravelin::ui {

// Runs the handler of one worker message on the user-interface thread.
class MessageReceiver {
public:
    virtual ~MessageReceiver() = default;
    virtual std::intptr_t HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

class FrameAdapter final : public QObject, public job::Frame, public job::WorkerDialogs {
    Q_OBJECT
public:
    // Lives on (and must be created on) the user-interface thread.
    explicit FrameAdapter(QObject* parent = nullptr) : QObject(parent) {}

    // The receiver of messages and the dialogs shown on the user-interface
    // thread; both must outlive every job.
    void Bind(MessageReceiver* receiver, job::WorkerDialogs* dialogs)
    {
        this->receiver = receiver;
        this->dialogs = dialogs;
    }

    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        return OnUiThread([&] { return receiver ? receiver->HandleMessage(message, wParam, lParam) : 0; });
    }

    int ShowMessageDialog(const std::string& text, job::MessageButtons buttons) override
    {
        return OnUiThread([&] { return dialogs ? dialogs->ShowMessageDialog(text, buttons) : job::kAnswerNo; });
    }

    int ShowMessageOk(const std::string& text) override
    {
        return OnUiThread([&] { return dialogs ? dialogs->ShowMessageOk(text) : job::kAnswerNo; });
    }

    int ShowWarning(const std::string& text) override
    {
        return OnUiThread([&] { return dialogs ? dialogs->ShowWarning(text) : job::kAnswerNo; });
    }

    int ShowConnectionDialog(job::ConnectionAnswer& answer) override
    {
        return OnUiThread([&] { return dialogs ? dialogs->ShowConnectionDialog(answer) : job::kAnswerNo; });
    }

private:
    template <typename Call>
    auto OnUiThread(Call call) -> std::invoke_result_t<Call>
    {
        if (QThread::currentThread() == thread())
            return call();
        std::invoke_result_t<Call> result{};
        QMetaObject::invokeMethod(
            this, [&] { result = call(); }, Qt::BlockingQueuedConnection);
        return result;
    }

    MessageReceiver* receiver = nullptr;
    job::WorkerDialogs* dialogs = nullptr;
};

}  // namespace ravelin::ui
