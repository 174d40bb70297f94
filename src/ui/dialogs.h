#pragma once

// The small dialogs of the desktop application and the one gate every modal
// question goes through. The gate shows the real dialog; a test switches it
// to scripted mode and preloads the next answers, and then reads back which
// dialogs would have been shown with which texts.
//
// All dialogs have the title "Ravelin" and a white background. Every
// function here runs on the user-interface thread.

#include <functional>

#include <QDialog>
#include <QList>
#include <QRadioButton>
#include <QString>
#include <QStringList>

#include "job/frame.h"

class QCheckBox;
class QFileDialog;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace ravelin::ui {

class ProductSettings;

// Base of the question dialogs: an information (or warning) picture on the
// left, one or more text lines, and a row of buttons each closing with its
// own result.
class CSimpleDialog : public QDialog {
    Q_OBJECT
public:
    enum class Picture { None, Information, Warning };
    CSimpleDialog(QWidget* parent, const QStringList& lines, Picture picture = Picture::Information);
    // Adds a button that closes the dialog with result.
    QPushButton* AddButton(const QString& caption, int result);
    // The result Escape (and the window's close box) closes with.
    void SetEscapeResult(int result) { escapeResult = result; }
    QString Text() const;
    // The label showing the picture; null without one.
    QLabel* PictureLabel() const { return pictureLabel; }

    void reject() override;

private:
    QLabel* pictureLabel = nullptr;
    QList<QLabel*> textLabels;
    QHBoxLayout* buttonRow = nullptr;
    int escapeResult = job::kAnswerNo;
};

// The message dialog: Yes (1) and No (2), or OK (1). Escape answers 1, as
// Yes does.
class CMessageDialog final : public CSimpleDialog {
    Q_OBJECT
public:
    CMessageDialog(QWidget* parent, const QString& text, job::MessageButtons buttons);
};

// The OK box.
class CMessageOk final : public CSimpleDialog {
    Q_OBJECT
public:
    CMessageOk(QWidget* parent, const QString& text);
};

// The OK box of a warning: the warning picture, one text line per line of
// text. OK and Escape answer 1.
class CWarningOk final : public CSimpleDialog {
    Q_OBJECT
public:
    CWarningOk(QWidget* parent, const QString& text);
};

// The stop confirmation: Yes (1), No (2).
class CStopDialog final : public CSimpleDialog {
    Q_OBJECT
public:
    CStopDialog(QWidget* parent, const QString& text);
};

// The overwrite question with its two fixed lines: Yes (1), No (2).
class CFileExist final : public CSimpleDialog {
    Q_OBJECT
public:
    explicit CFileExist(QWidget* parent);
};

// Creates a new blank database file at path with the account given; yields
// an empty text on success, otherwise the reason shown to the user.
using BlankDatabaseCreator =
    std::function<QString(const QString& path, const QString& userName, const QString& password)>;

// The target database and login dialog. OK is enabled exactly when a
// target file has been chosen and both login fields are filled (checked
// whenever a login field changes). "New" chooses a file that does not exist
// yet; OK then creates it as a blank database before closing.
class CConnectionDlg final : public QDialog {
    Q_OBJECT
public:
    CConnectionDlg(QWidget* parent, std::function<void()> openHelp, BlankDatabaseCreator createBlank);

    // Fills the answer from the dialog after it closed with OK.
    void TakeAnswer(job::ConnectionAnswer& answer) const;

    // The browse steps with a file already chosen (empty: cancelled).
    void ChooseExisting(const QString& path);
    void ChooseNew(const QString& path);

    QLineEdit* PathField() const { return pathField; }
    QLineEdit* UserField() const { return userField; }
    QLineEdit* PasswordField() const { return passwordField; }
    QPushButton* OkButton() const { return okButton; }
    bool CreatesNewFile() const { return createNew; }
    // The restore mode: the salvage repair (the default) or an exact restore.
    QRadioButton* SalvageChoice() const { return salvageChoice; }
    QRadioButton* ExactChoice() const { return exactChoice; }

private:
    void LoginChanged();
    void Confirm();

    std::function<void()> openHelp;
    BlankDatabaseCreator createBlank;
    QLineEdit* pathField = nullptr;
    QLineEdit* userField = nullptr;
    QLineEdit* passwordField = nullptr;
    QPushButton* okButton = nullptr;
    QRadioButton* salvageChoice = nullptr;
    QRadioButton* exactChoice = nullptr;
    QString targetPath;
    QString storedUser;
    QString storedPassword;
    bool createNew = false;
};

// The modeless record-counting skip panel; its button calls onSkip and
// hides the panel.
class CSkipDialog final : public QDialog {
    Q_OBJECT
public:
    CSkipDialog(QWidget* parent, std::function<void()> onSkip);
    QPushButton* SkipButton() const { return skipButton; }

private:
    QPushButton* skipButton = nullptr;
};

// The licence text, one list row per line of the file.
class CEulaDialog final : public QDialog {
    Q_OBJECT
public:
    CEulaDialog(QWidget* parent, const QString& filePath);
    QTreeWidget* List() const { return list; }

private:
    QTreeWidget* list = nullptr;
};

// About: operating system and product information.
class CAbout final : public QDialog {
    Q_OBJECT
public:
    CAbout(QWidget* parent, const ProductSettings& settings);
    QString OperatingSystemText() const;
    QString ProductVersionText() const;

private:
    QLabel* osName = nullptr;
    QLabel* productVersion = nullptr;
};

// The gate of every modal question and file dialog.
class Dialogs {
public:
    enum class Kind { Message, MessageOk, Warning, Stop, FileExist, Connection, OpenFile, SaveFile, Folder };
    struct Shown {
        Kind kind;
        QString text;   // the dialog's text, or the file dialog's caption
        bool answered;  // false when a scripted run had no answer ready
    };

    static int Message(QWidget* parent, const QString& text, job::MessageButtons buttons);
    static int MessageOk(QWidget* parent, const QString& text);
    static int Warning(QWidget* parent, const QString& text);
    static int Stop(QWidget* parent, const QString& text);
    static int FileExist(QWidget* parent);
    // Runs the connection dialog; on 1 the answer is filled.
    static int Connection(QWidget* parent, job::ConnectionAnswer& answer, std::function<void()> openHelp,
                          BlankDatabaseCreator createBlank);
    // An existing database file (*.ib, *.gdb in any letter case); empty when cancelled.
    static QString OpenDatabaseFile(QWidget* parent, const QString& caption);
    // A file name for a new database file; empty when cancelled.
    static QString NewDatabaseFile(QWidget* parent, const QString& caption);
    // The save dialog of the log report; asks nothing about overwriting and
    // adds no extension. Empty when cancelled.
    static QString SaveLogFile(QWidget* parent, const QString& initialName);
    // The folder browser (file-system folders only) titled title; empty when
    // cancelled. Scripted: the next preloaded file.
    static QString SelectFolder(QWidget* parent, const QString& title);

    // Scripted mode for tests: no dialog is shown; each question takes the
    // next preloaded answer (a missing answer counts as No/Cancel).
    static void SetScripted(bool scripted);
    static bool Scripted();
    static void PushAnswer(int answer);
    static void PushFile(const QString& path);  // empty: the user cancels
    static void PushConnection(const job::ConnectionAnswer& answer, int result);
    // Runs while a scripted question is "open" (after it was recorded,
    // before it is answered).
    static void SetShowHook(std::function<void(const Shown&)> hook);
    // The dialogs shown since the last call, oldest first.
    static QList<Shown> TakeShown();
};

// The open dialog for database files: "InterBase Files (*.ib *.gdb)",
// matching in any letter case. The caller owns it.
QFileDialog* CreateDatabaseFileDialog(QWidget* parent, const QString& caption);

}  // namespace ravelin::ui
