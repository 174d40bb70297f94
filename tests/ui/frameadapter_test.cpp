#include "ui/frameadapter.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <QtTest>

using namespace ravelin;
using namespace ravelin::ui;

namespace {

// Records on which thread each handler ran and what shared text it read.
struct Receiver final : MessageReceiver, job::WorkerDialogs {
    std::string* shared = nullptr;
    std::vector<std::string> seen;
    std::vector<QThread*> threads;

    std::intptr_t HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        threads.push_back(QThread::currentThread());
        seen.push_back(*shared);
        return static_cast<std::intptr_t>(message) + static_cast<std::intptr_t>(wParam) + lParam;
    }
    int ShowMessageDialog(const std::string& text, job::MessageButtons buttons) override
    {
        threads.push_back(QThread::currentThread());
        seen.push_back(text);
        return buttons == job::MessageButtons::YesNo ? job::kAnswerNo : job::kAnswerOk;
    }
    int ShowMessageOk(const std::string& text) override
    {
        threads.push_back(QThread::currentThread());
        seen.push_back(text);
        return job::kAnswerOk;
    }
    int ShowWarning(const std::string& text) override
    {
        threads.push_back(QThread::currentThread());
        seen.push_back("warning: " + text);
        return job::kAnswerOk;
    }
    int ShowConnectionDialog(job::ConnectionAnswer& answer) override
    {
        threads.push_back(QThread::currentThread());
        answer.targetPath = "/tmp/target.ib";
        return job::kAnswerOk;
    }
};

}  // namespace

class FrameAdapterTest : public QObject {
    Q_OBJECT
private slots:
    void WorkerSendsRunOnTheUiThreadWhileTheWorkerWaits()
    {
        std::string currentLogLine;
        Receiver receiver;
        receiver.shared = &currentLogLine;
        FrameAdapter adapter;
        adapter.Bind(&receiver, &receiver);

        std::vector<std::intptr_t> results;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (int i = 0; i < 200; ++i) {
                // The worker overwrites the shared text right after each send:
                // the handler must have read it before the send returned.
                currentLogLine = "line " + std::to_string(i);
                results.push_back(adapter.Send(job::UM_LOG_LINE, 1, i));
                currentLogLine = "overwritten";
            }
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 20000);
        worker.join();
        QCOMPARE(receiver.seen.size(), std::size_t{200});
        for (int i = 0; i < 200; ++i) {
            QCOMPARE(receiver.seen[static_cast<std::size_t>(i)], "line " + std::to_string(i));
            QCOMPARE(results[static_cast<std::size_t>(i)], std::intptr_t{job::UM_LOG_LINE + 1 + i});
            QCOMPARE(receiver.threads[static_cast<std::size_t>(i)], QThread::currentThread());
        }
    }

    void UiThreadSendRunsDirectly()
    {
        std::string currentLogLine = "Ravelin Database(s) Log Report.........................";
        Receiver receiver;
        receiver.shared = &currentLogLine;
        FrameAdapter adapter;
        adapter.Bind(&receiver, &receiver);
        // No event loop runs between the send and the check.
        QCOMPARE(adapter.Send(job::UM_LOG_LINE, 0, 0), std::intptr_t{job::UM_LOG_LINE});
        QCOMPARE(receiver.seen, std::vector<std::string>{currentLogLine});
    }

    void WorkerDialogsOpenOnTheUiThread()
    {
        std::string unused;
        Receiver receiver;
        receiver.shared = &unused;
        FrameAdapter adapter;
        adapter.Bind(&receiver, &receiver);
        int question = 0;
        int ok = 0;
        int warning = 0;
        int connection = 0;
        job::ConnectionAnswer answer;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            question = adapter.ShowMessageDialog("Do you want to close Application?", job::MessageButtons::YesNo);
            ok = adapter.ShowMessageOk("Process aborted by user.");
            warning = adapter.ShowWarning("Repair process finished, but not everything was copied:\nTable not created: T");
            connection = adapter.ShowConnectionDialog(answer);
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 20000);
        worker.join();
        QCOMPARE(question, job::kAnswerNo);
        QCOMPARE(ok, job::kAnswerOk);
        QCOMPARE(warning, job::kAnswerOk);
        QCOMPARE(connection, job::kAnswerOk);
        QCOMPARE(answer.targetPath, std::string("/tmp/target.ib"));
        // The warning reaches the receiver as a warning, not as its OK box.
        QCOMPARE(receiver.seen, (std::vector<std::string>{
                                    "Do you want to close Application?", "Process aborted by user.",
                                    "warning: Repair process finished, but not everything was copied:\nTable not created: T"}));
        QCOMPARE(receiver.threads.size(), std::size_t{4});
        for (QThread* thread : receiver.threads)
            QCOMPARE(thread, QThread::currentThread());
    }

    void UnboundAdapterAnswersNo()
    {
        FrameAdapter adapter;
        QCOMPARE(adapter.Send(job::UM_LOG_LINE, 0, 0), std::intptr_t{0});
        QCOMPARE(adapter.ShowMessageOk("x"), job::kAnswerNo);
        QCOMPARE(adapter.ShowWarning("x"), job::kAnswerNo);
    }
};

QTEST_MAIN(FrameAdapterTest)
#include "frameadapter_test.moc"
