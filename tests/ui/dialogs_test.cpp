#include "ui/dialogs.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "ui/productsettings.h"

using namespace ravelin;
using namespace ravelin::ui;

namespace {

QPushButton* Button(QWidget* dialog, const QString& text)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

void Touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Dialogs::SetScripted(false); }

    // Which result Escape and each button close a question dialog with.
    void QuestionResults_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("press");  // a button caption or "Escape"
        QTest::addColumn<int>("result");
        QTest::newRow("message Yes") << "message" << "Yes" << 1;
        QTest::newRow("message No") << "message" << "No" << 2;
        QTest::newRow("message Escape answers Yes") << "message" << "Escape" << 1;
        QTest::newRow("message OK") << "message-ok" << "OK" << 1;
        QTest::newRow("message OK Escape") << "message-ok" << "Escape" << 1;
        QTest::newRow("OK box OK") << "ok" << "OK" << 1;
        QTest::newRow("OK box Escape") << "ok" << "Escape" << 2;
        QTest::newRow("warning OK") << "warning" << "OK" << 1;
        QTest::newRow("warning Escape") << "warning" << "Escape" << 1;
        QTest::newRow("stop Yes") << "stop" << "Yes" << 1;
        QTest::newRow("stop No") << "stop" << "No" << 2;
        QTest::newRow("stop Escape") << "stop" << "Escape" << 2;
        QTest::newRow("overwrite Yes") << "exists" << "Yes" << 1;
        QTest::newRow("overwrite Escape") << "exists" << "Escape" << 2;
    }

    void QuestionResults()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, press);
        QFETCH(int, result);
        std::unique_ptr<CSimpleDialog> shown;
        if (dialog == "message")
            shown = std::make_unique<CMessageDialog>(nullptr, "Do you want to close Application?", job::MessageButtons::YesNo);
        else if (dialog == "message-ok")
            shown = std::make_unique<CMessageDialog>(nullptr, "Connection failed", job::MessageButtons::Ok);
        else if (dialog == "ok")
            shown = std::make_unique<CMessageOk>(nullptr, "Process aborted by user.");
        else if (dialog == "warning")
            shown = std::make_unique<CWarningOk>(nullptr, "Repair process finished, but not everything was copied:");
        else if (dialog == "stop")
            shown = std::make_unique<CStopDialog>(nullptr, "Do you want to stop current process?");
        else
            shown = std::make_unique<CFileExist>(nullptr);
        QCOMPARE(shown->windowTitle(), QStringLiteral("Ravelin"));
        shown->open();
        if (press == "Escape") {
            QTest::keyClick(shown.get(), Qt::Key_Escape);
        } else {
            QPushButton* button = Button(shown.get(), press);
            QVERIFY(button);
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QVERIFY(!shown->isVisible());
        QCOMPARE(shown->result(), result);
    }

    void MessageDialogButtonsAndTexts()
    {
        CMessageDialog question(nullptr, "Do you want to close Application?", job::MessageButtons::YesNo);
        QVERIFY(Button(&question, "Yes") && Button(&question, "No") && !Button(&question, "OK"));
        CMessageDialog note(nullptr, "Invalid Database File.", job::MessageButtons::Ok);
        QVERIFY(Button(&note, "OK") && !Button(&note, "Yes"));
        QCOMPARE(note.Text(), QStringLiteral("Invalid Database File."));
        CFileExist exists(nullptr);
        QCOMPARE(exists.Text(), QStringLiteral("File already exists.\nDo you want to overwrite?"));
    }

    // The warning box: the style's warning picture where the other boxes
    // show the information picture, and one text line per line.
    void WarningBoxShowsTheWarningPictureAndEveryLine()
    {
        const QString text = QStringLiteral(
            "Repair process finished, but not everything was copied:\nTable not created: ORDERS\n"
            "Records not copied: 1 of 40 in CUSTOMER");
        CWarningOk warning(nullptr, text);
        QCOMPARE(warning.windowTitle(), QStringLiteral("Ravelin"));
        QCOMPARE(warning.Text(), text);
        QVERIFY(Button(&warning, "OK") && !Button(&warning, "Yes"));
        QStringList labels;
        for (const QLabel* label : warning.findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                labels << label->text();
        }
        QCOMPARE(labels, text.split(QLatin1Char('\n')));

        CMessageOk note(nullptr, QStringLiteral("Process aborted by user."));
        const auto picture = [](const CSimpleDialog& dialog, QStyle::StandardPixmap icon) {
            const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
            return dialog.style()->standardIcon(icon).pixmap(size, size).toImage();
        };
        QVERIFY(warning.PictureLabel() && note.PictureLabel());
        const QImage warningPicture = warning.PictureLabel()->pixmap().toImage();
        QVERIFY(!warningPicture.isNull());
        QCOMPARE(warningPicture, picture(warning, QStyle::SP_MessageBoxWarning));
        QVERIFY(warningPicture != picture(warning, QStyle::SP_MessageBoxInformation));
        QCOMPARE(note.PictureLabel()->pixmap().toImage(), picture(note, QStyle::SP_MessageBoxInformation));
    }

    void ConnectionDialogEnablesOkOnlyWhenComplete()
    {
        Dialogs::SetScripted(true);
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("blank.ib"));
        const QString second = dir.filePath(QStringLiteral("other.GDB"));
        Touch(first);
        Touch(second);
        int helpOpened = 0;
        CConnectionDlg dialog(nullptr, [&] { ++helpOpened; }, nullptr);
        dialog.open();
        QVERIFY(!dialog.OkButton()->isEnabled());
        // Login first, no file yet: OK stays off.
        QTest::keyClicks(dialog.UserField(), QStringLiteral("SYSDBA"));
        QTest::keyClicks(dialog.PasswordField(), QStringLiteral("masterkey"));
        QVERIFY(!dialog.OkButton()->isEnabled());
        QCOMPARE(dialog.PasswordField()->echoMode(), QLineEdit::Password);

        // Browse: the file chosen empties the login fields again.
        Dialogs::PushFile(first);
        QTest::mouseClick(Button(&dialog, "Browse"), Qt::LeftButton);
        QCOMPARE(dialog.PathField()->text(), first);
        QVERIFY(dialog.UserField()->text().isEmpty());
        QVERIFY(dialog.PasswordField()->text().isEmpty());
        QVERIFY(!dialog.OkButton()->isEnabled());
        QTest::keyClicks(dialog.UserField(), QStringLiteral("SYSDBA"));
        QVERIFY(!dialog.OkButton()->isEnabled());
        QTest::keyClicks(dialog.PasswordField(), QStringLiteral("masterkey"));
        QVERIFY(dialog.OkButton()->isEnabled());

        // Another file: filled in again from scratch.
        dialog.ChooseExisting(second);
        QVERIFY(!dialog.OkButton()->isEnabled());
        QVERIFY(dialog.UserField()->text().isEmpty());
        // A cancelled browse changes nothing.
        Dialogs::PushFile(QString());
        QTest::mouseClick(Button(&dialog, "Browse"), Qt::LeftButton);
        QCOMPARE(dialog.PathField()->text(), second);

        QTest::mouseClick(Button(&dialog, "Help"), Qt::LeftButton);
        QCOMPARE(helpOpened, 1);
        QVERIFY(dialog.isVisible());

        // The salvage repair is chosen unless the user picks the exact restore.
        QVERIFY(dialog.SalvageChoice()->isChecked());
        QVERIFY(!dialog.ExactChoice()->isChecked());
        QTest::mouseClick(dialog.ExactChoice(), Qt::LeftButton);
        QVERIFY(dialog.ExactChoice()->isChecked());
        QVERIFY(!dialog.SalvageChoice()->isChecked());

        QTest::keyClicks(dialog.UserField(), QStringLiteral("repair"));
        QTest::keyClicks(dialog.PasswordField(), QStringLiteral("secret"));
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), 1);
        QCOMPARE(dialog.PathField()->text(), QStringLiteral(" "));
        job::ConnectionAnswer answer;
        dialog.TakeAnswer(answer);
        QCOMPARE(QString::fromStdString(answer.targetPath), second);
        QCOMPARE(answer.userName, std::string("repair"));
        QCOMPARE(answer.password, std::string("secret"));
        QVERIFY(answer.exactRestore);
    }

    void ConnectionDialogCreatesANewBlankDatabase()
    {
        Dialogs::SetScripted(true);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("new-target.ib"));
        QStringList calls;
        QString failure = QStringLiteral("no server");
        CConnectionDlg dialog(nullptr, nullptr, [&](const QString& path, const QString& user, const QString& password) {
            calls << path + "|" + user + "|" + password;
            return failure;
        });
        dialog.open();
        Dialogs::PushFile(target);
        QTest::mouseClick(Button(&dialog, "New"), Qt::LeftButton);
        QVERIFY(dialog.CreatesNewFile());
        QCOMPARE(dialog.PathField()->text(), target);
        QTest::keyClicks(dialog.UserField(), QStringLiteral("SYSDBA"));
        QTest::keyClicks(dialog.PasswordField(), QStringLiteral("pw"));

        // A failed creation is reported and the dialog stays open.
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        QCOMPARE(calls, QStringList{target + "|SYSDBA|pw"});
        QVERIFY(dialog.isVisible());
        const QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), 2);  // the new-file dialog, then the failure
        QCOMPARE(shown[1].kind, Dialogs::Kind::MessageOk);
        QCOMPARE(shown[1].text, QStringLiteral("no server"));

        failure.clear();
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        QCOMPARE(calls.size(), 2);
        QCOMPARE(dialog.result(), 1);
        job::ConnectionAnswer answer;
        dialog.TakeAnswer(answer);
        QCOMPARE(QString::fromStdString(answer.targetPath), target);
    }

    void DatabaseFileDialogMatchesAnyLetterCase()
    {
        QTemporaryDir dir;
        for (const char* name : {"a.ib", "b.IB", "c.Gdb", "d.gdb", "e.txt", "f.gdb.bak", "gdb"})
            Touch(dir.filePath(QString::fromLatin1(name)));
        std::unique_ptr<QFileDialog> dialog(CreateDatabaseFileDialog(nullptr, QStringLiteral("Open")));
        QCOMPARE(dialog->nameFilters().first(), QStringLiteral("InterBase Files (*.ib *.gdb)"));
        dialog->setDirectory(dir.path());
        dialog->open();
        auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
        QVERIFY(list);
        const auto visible = [&] {
            QStringList names;
            QAbstractItemModel* model = list->model();
            const QModelIndex root = list->rootIndex();
            for (int r = 0; r < model->rowCount(root); ++r)
                names << model->index(r, 0, root).data().toString();
            names.sort();
            return names;
        };
        QTRY_COMPARE(visible(), (QStringList{"a.ib", "b.IB", "c.Gdb", "d.gdb"}));
        dialog->reject();
    }

    void ScriptedModeRecordsUnansweredQuestions()
    {
        Dialogs::SetScripted(true);
        QCOMPARE(Dialogs::Stop(nullptr, "Do you want to stop current process?"), 2);
        Dialogs::PushAnswer(1);
        QCOMPARE(Dialogs::Message(nullptr, "x", job::MessageButtons::YesNo), 1);
        QCOMPARE(Dialogs::OpenDatabaseFile(nullptr, "Open"), QString());
        QCOMPARE(Dialogs::Warning(nullptr, "Table not created: T"), 2);
        const QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), 4);
        QVERIFY(!shown[0].answered);
        QVERIFY(shown[1].answered);
        QVERIFY(!shown[2].answered);
        QCOMPARE(shown[3].kind, Dialogs::Kind::Warning);
        QCOMPARE(shown[3].text, QStringLiteral("Table not created: T"));
        QVERIFY(Dialogs::TakeShown().isEmpty());
    }

    void AboutShowsSystemAndProductVersion()
    {
        QTemporaryDir dir;
        QFile conf(dir.filePath(QStringLiteral("ravelin.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[Ravelin]\nVersion=2.5.1\nPath=" + dir.path().toUtf8() + "\n");
        conf.close();
        QFile eula(dir.filePath(QStringLiteral("eula.dat")));
        QVERIFY(eula.open(QIODevice::WriteOnly));
        eula.write("First line\nSecond line\n");
        eula.close();
        ProductSettings settings(QStringList{conf.fileName()});
        CAbout about(nullptr, settings);
        QCOMPARE(about.ProductVersionText(), QStringLiteral("2.5.1"));
        QVERIFY(!about.OperatingSystemText().isEmpty());
        CEulaDialog text(nullptr, settings.EulaFile());
        QCOMPARE(text.List()->topLevelItemCount(), 2);
        QCOMPARE(text.List()->topLevelItem(1)->text(0), QStringLiteral("Second line"));

        ProductSettings none(QStringList{dir.filePath(QStringLiteral("missing.conf"))});
        CAbout bare(nullptr, none);
        QCOMPARE(bare.ProductVersionText(), QString());
        QVERIFY(none.EulaFile().endsWith(QStringLiteral("/rvln_Eula.dat")));
        CEulaDialog empty(nullptr, dir.filePath(QStringLiteral("no-such-file")));
        QCOMPARE(empty.List()->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
