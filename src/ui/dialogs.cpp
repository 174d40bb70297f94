#include "ui/dialogs.h"

#include <deque>
#include <utility>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QSysInfo>
#include <QTextStream>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/productsettings.h"
#include "ui/uitext.h"

namespace ravelin::ui {

namespace {

void MakeWhite(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::white);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QLabel* MessagePicture(QWidget* parent, QStyle::StandardPixmap icon)
{
    auto* picture = new QLabel(parent);
    const int size = parent->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, parent);
    picture->setPixmap(parent->style()->standardIcon(icon).pixmap(size, size));
    picture->setAlignment(Qt::AlignTop);
    return picture;
}

QLabel* InformationPicture(QWidget* parent)
{
    return MessagePicture(parent, QStyle::SP_MessageBoxInformation);
}

// The script of a test run.
struct Script {
    bool scripted = false;
    std::deque<int> answers;
    std::deque<QString> files;
    std::deque<std::pair<job::ConnectionAnswer, int>> connections;
    QList<Dialogs::Shown> shown;
    std::function<void(const Dialogs::Shown&)> showHook;
};

Script& TheScript()
{
    static Script script;
    return script;
}

// Takes the next scripted answer, or the No/Cancel result when none is ready.
int NextAnswer(Dialogs::Kind kind, const QString& text)
{
    Script& script = TheScript();
    const bool ready = !script.answers.empty();
    script.shown.append({kind, text, ready});
    if (script.showHook)
        script.showHook(script.shown.back());
    if (!ready)
        return job::kAnswerNo;
    const int answer = script.answers.front();
    script.answers.pop_front();
    return answer;
}

QString NextFile(Dialogs::Kind kind, const QString& caption)
{
    Script& script = TheScript();
    const bool ready = !script.files.empty();
    script.shown.append({kind, caption, ready});
    if (script.showHook)
        script.showHook(script.shown.back());
    if (!ready)
        return {};
    QString file = script.files.front();
    script.files.pop_front();
    return file;
}

}  // namespace

// The toolkit's own dialog is used so the filter matches without regard to
// case on every desktop.
QFileDialog* CreateDatabaseFileDialog(QWidget* parent, const QString& caption)
{
    // Opens where the last database file was chosen, at first in the home folder.
    static QString lastFolder = QDir::homePath();
    auto* dialog = new QFileDialog(parent, caption, lastFolder);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [](const QString& file) { lastFolder = QFileInfo(file).absolutePath(); });
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::ReadOnly, true);
    dialog->setNameFilters({QString::fromLatin1(text::kDatabaseFilter), QStringLiteral("All Files (*)")});
    // Without QDir::CaseSensitive the name filters match in any letter case.
    dialog->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::AllDirs);
    return dialog;
}

// ---------------------------------------------------------------------------

CSimpleDialog::CSimpleDialog(QWidget* parent, const QStringList& lines, Picture picture) : QDialog(parent)
{
    setWindowTitle(QString::fromLatin1(text::kAppTitle));
    MakeWhite(this);
    auto* outer = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    if (picture != Picture::None) {
        pictureLabel = MessagePicture(
            this, picture == Picture::Warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation);
        body->addWidget(pictureLabel);
    }
    auto* texts = new QVBoxLayout;
    for (const QString& line : lines) {
        auto* label = new QLabel(line, this);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setMinimumWidth(260);
        textLabels.append(label);
        texts->addWidget(label);
    }
    texts->addStretch();
    body->addLayout(texts, 1);
    outer->addLayout(body);
    buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    outer->addLayout(buttonRow);
}

QPushButton* CSimpleDialog::AddButton(const QString& caption, int result)
{
    auto* button = new QPushButton(caption, this);
    connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    buttonRow->addWidget(button);
    if (buttonRow->count() == 2)
        button->setDefault(true);
    return button;
}

QString CSimpleDialog::Text() const
{
    QStringList lines;
    for (const QLabel* label : textLabels)
        lines << label->text();
    return lines.join(QLatin1Char('\n'));
}

void CSimpleDialog::reject()
{
    done(escapeResult);
}

CMessageDialog::CMessageDialog(QWidget* parent, const QString& text, job::MessageButtons buttons)
    : CSimpleDialog(parent, {text})
{
    setObjectName(QStringLiteral("CMessageDialog"));
    if (buttons == job::MessageButtons::YesNo) {
        AddButton(QStringLiteral("Yes"), job::kAnswerOk);
        AddButton(QStringLiteral("No"), job::kAnswerNo);
    } else {
        AddButton(QStringLiteral("OK"), job::kAnswerOk);
    }
    // Escape closes the message dialog as Yes does.
    SetEscapeResult(job::kAnswerOk);
}

CMessageOk::CMessageOk(QWidget* parent, const QString& text) : CSimpleDialog(parent, {text})
{
    setObjectName(QStringLiteral("CMessageOk"));
    AddButton(QStringLiteral("OK"), job::kAnswerOk);
}

CWarningOk::CWarningOk(QWidget* parent, const QString& text)
    : CSimpleDialog(parent, text.split(QLatin1Char('\n')), Picture::Warning)
{
    setObjectName(QStringLiteral("CWarningOk"));
    AddButton(QStringLiteral("OK"), job::kAnswerOk);
    SetEscapeResult(job::kAnswerOk);
}

CStopDialog::CStopDialog(QWidget* parent, const QString& text) : CSimpleDialog(parent, {text})
{
    setObjectName(QStringLiteral("CStopDialog"));
    AddButton(QStringLiteral("Yes"), job::kAnswerOk);
    AddButton(QStringLiteral("No"), job::kAnswerNo);
}

CFileExist::CFileExist(QWidget* parent)
    : CSimpleDialog(parent, {QString::fromLatin1(text::kFileExists), QString::fromLatin1(text::kOverwrite)})
{
    setObjectName(QStringLiteral("CFileExist"));
    AddButton(QStringLiteral("Yes"), job::kAnswerOk);
    AddButton(QStringLiteral("No"), job::kAnswerNo);
}

// ---------------------------------------------------------------------------

CConnectionDlg::CConnectionDlg(QWidget* parent, std::function<void()> openHelp, BlankDatabaseCreator createBlank)
    : QDialog(parent), openHelp(std::move(openHelp)), createBlank(std::move(createBlank))
{
    setObjectName(QStringLiteral("CConnectionDlg"));
    setWindowTitle(QString::fromLatin1(text::kAppTitle));
    MakeWhite(this);

    auto* outer = new QHBoxLayout(this);
    outer->addWidget(InformationPicture(this));
    auto* column = new QVBoxLayout;
    outer->addLayout(column, 1);

    auto* fileGroup = new QGroupBox(QStringLiteral("Selected Blank File Path"), this);
    auto* fileRow = new QHBoxLayout(fileGroup);
    pathField = new QLineEdit(fileGroup);
    pathField->setReadOnly(true);
    pathField->setMinimumWidth(320);
    auto* browse = new QPushButton(QStringLiteral("Browse"), fileGroup);
    auto* newFile = new QPushButton(QStringLiteral("New"), fileGroup);
    newFile->setToolTip(QStringLiteral("Create a new blank database file"));
    fileRow->addWidget(pathField, 1);
    fileRow->addWidget(browse);
    fileRow->addWidget(newFile);
    column->addWidget(fileGroup);

    auto* loginGroup = new QGroupBox(QStringLiteral("User login Information"), this);
    auto* form = new QFormLayout(loginGroup);
    userField = new QLineEdit(loginGroup);
    passwordField = new QLineEdit(loginGroup);
    passwordField->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("User Name"), userField);
    form->addRow(QStringLiteral("Password"), passwordField);
    column->addWidget(loginGroup);

    // What the target receives: the salvage repair keeps every value in
    // columns any target takes; the exact restore gives the tables their
    // own types and brings the rest of the schema along.
    auto* modeGroup = new QGroupBox(QStringLiteral("Restore Mode"), this);
    auto* modes = new QVBoxLayout(modeGroup);
    salvageChoice = new QRadioButton(
        QStringLiteral("Salvage repair: dates and times as TIMESTAMP, blobs as files beside the target"), modeGroup);
    salvageChoice->setObjectName(QStringLiteral("salvageChoice"));
    exactChoice = new QRadioButton(QStringLiteral("Exact restore: each column of its own type, blobs inside their "
                                                  "columns, views, indices, foreign keys and generators"),
                                   modeGroup);
    exactChoice->setObjectName(QStringLiteral("exactChoice"));
    salvageChoice->setChecked(true);
    modes->addWidget(salvageChoice);
    modes->addWidget(exactChoice);
    column->addWidget(modeGroup);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* help = new QPushButton(QStringLiteral("Help"), this);
    buttons->addWidget(okButton);
    buttons->addWidget(cancel);
    buttons->addWidget(help);
    column->addLayout(buttons);

    // Opening: empty login fields and stored values, OK disabled.
    okButton->setEnabled(false);

    connect(browse, &QPushButton::clicked, this, [this] {
        ChooseExisting(Dialogs::OpenDatabaseFile(this, QStringLiteral("Select Blank Database File")));
    });
    connect(newFile, &QPushButton::clicked, this, [this] {
        ChooseNew(Dialogs::NewDatabaseFile(this, QStringLiteral("New Blank Database File")));
    });
    connect(userField, &QLineEdit::textChanged, this, &CConnectionDlg::LoginChanged);
    connect(passwordField, &QLineEdit::textChanged, this, &CConnectionDlg::LoginChanged);
    connect(okButton, &QPushButton::clicked, this, &CConnectionDlg::Confirm);
    connect(cancel, &QPushButton::clicked, this, [this] { done(job::kAnswerNo); });
    connect(help, &QPushButton::clicked, this, [this] {
        if (this->openHelp)
            this->openHelp();
    });
}

void CConnectionDlg::ChooseExisting(const QString& path)
{
    if (path.isEmpty())
        return;
    createNew = false;
    targetPath = QFileInfo(path).absoluteFilePath();
    pathField->setText(targetPath);
    userField->clear();
    passwordField->clear();
    okButton->setEnabled(false);
}

void CConnectionDlg::ChooseNew(const QString& path)
{
    if (path.isEmpty())
        return;
    ChooseExisting(path);
    createNew = true;
}

void CConnectionDlg::LoginChanged()
{
    okButton->setEnabled(!pathField->text().isEmpty() && !userField->text().isEmpty() &&
                         !passwordField->text().isEmpty());
}

void CConnectionDlg::Confirm()
{
    if (!okButton->isEnabled())
        return;
    if (createNew) {
        const QString failure =
            createBlank ? createBlank(targetPath, userField->text(), passwordField->text())
                        : QStringLiteral("Creating a new database is not available.");
        if (!failure.isEmpty()) {
            Dialogs::MessageOk(this, failure);
            return;
        }
        createNew = false;
    }
    storedUser = userField->text();
    storedPassword = passwordField->text();
    pathField->setText(QStringLiteral(" "));
    done(job::kAnswerOk);
}

void CConnectionDlg::TakeAnswer(job::ConnectionAnswer& answer) const
{
    answer.targetPath = targetPath.toStdString();
    answer.userName = storedUser.toStdString();
    answer.password = storedPassword.toStdString();
    answer.exactRestore = exactChoice->isChecked();
}

// ---------------------------------------------------------------------------

CSkipDialog::CSkipDialog(QWidget* parent, std::function<void()> onSkip) : QDialog(parent)
{
    setObjectName(QStringLiteral("CSkipDialog"));
    setWindowTitle(QStringLiteral("Ravelin   "));
    setModal(false);
    MakeWhite(this);
    auto* layout = new QVBoxLayout(this);
    for (const char* line : {text::kSkipLine1, text::kSkipLine2, text::kSkipLine3}) {
        auto* label = new QLabel(QString::fromLatin1(line), this);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    auto* row = new QHBoxLayout;
    row->addStretch();
    skipButton = new QPushButton(QString::fromLatin1(text::kSkipButton), this);
    row->addWidget(skipButton);
    layout->addLayout(row);
    setMinimumWidth(420);
    connect(skipButton, &QPushButton::clicked, this, [this, onSkip = std::move(onSkip)] {
        if (onSkip)
            onSkip();
        hide();
    });
}

// ---------------------------------------------------------------------------

CEulaDialog::CEulaDialog(QWidget* parent, const QString& filePath) : QDialog(parent)
{
    setObjectName(QStringLiteral("CEulaDialog"));
    setWindowTitle(QString::fromLatin1(text::kAppTitle));
    MakeWhite(this);
    auto* layout = new QVBoxLayout(this);
    list = new QTreeWidget(this);
    list->setHeaderLabels({QStringLiteral("ID")});
    list->setRootIsDecorated(false);
    list->header()->resizeSection(0, 505);
    list->setMinimumSize(530, 360);
    layout->addWidget(list);
    QFile file(filePath);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream stream(&file);
        while (!stream.atEnd())
            new QTreeWidgetItem(list, {stream.readLine()});
    }
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    row->addWidget(ok);
    layout->addLayout(row);
    connect(ok, &QPushButton::clicked, this, [this] { done(job::kAnswerOk); });
}

CAbout::CAbout(QWidget* parent, const ProductSettings& settings) : QDialog(parent)
{
    setObjectName(QStringLiteral("CAbout"));
    setWindowTitle(QString::fromLatin1(text::kAppTitle));
    MakeWhite(this);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QLabel(QStringLiteral("<b>Ravelin</b> recovers the tables, records, views and indices of "
                                          "damaged InterBase database files."),
                           this);
    top->setWordWrap(true);
    layout->addWidget(top);

    auto* system = new QGroupBox(QStringLiteral("System Information"), this);
    auto* systemForm = new QFormLayout(system);
    const QString name = QSysInfo::prettyProductName();
    osName = new QLabel(name.isEmpty() ? QStringLiteral("Error") : name, system);
    systemForm->addRow(QStringLiteral("Operating System :"), osName);
    systemForm->addRow(QStringLiteral("Version"), new QLabel(QSysInfo::productVersion(), system));
    systemForm->addRow(QStringLiteral("Kernel"),
                       new QLabel(QSysInfo::kernelType() + QLatin1Char(' ') + QSysInfo::kernelVersion(), system));
    systemForm->addRow(QStringLiteral("Computer Name"), new QLabel(QSysInfo::machineHostName(), system));
    layout->addWidget(system);

    auto* product = new QGroupBox(QStringLiteral("Product Information"), this);
    auto* productForm = new QFormLayout(product);
    productForm->addRow(QStringLiteral("Product Name"), new QLabel(QString::fromLatin1(text::kAppTitle), product));
    productVersion = new QLabel(settings.Value(QStringLiteral("Version")), product);
    productForm->addRow(QStringLiteral("Product Version"), productVersion);
    layout->addWidget(product);

    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* eula = new QPushButton(QStringLiteral("EULA"), this);
    ok->setDefault(true);
    row->addWidget(ok);
    row->addWidget(eula);
    layout->addLayout(row);
    connect(ok, &QPushButton::clicked, this, [this] { done(job::kAnswerOk); });
    const QString eulaFile = settings.EulaFile();
    connect(eula, &QPushButton::clicked, this, [this, eulaFile] {
        CEulaDialog dialog(this, eulaFile);
        dialog.exec();
    });
}

QString CAbout::OperatingSystemText() const
{
    return osName->text();
}

QString CAbout::ProductVersionText() const
{
    return productVersion->text();
}

// ---------------------------------------------------------------------------

int Dialogs::Message(QWidget* parent, const QString& text, job::MessageButtons buttons)
{
    if (TheScript().scripted)
        return NextAnswer(Kind::Message, text);
    CMessageDialog dialog(parent, text, buttons);
    return dialog.exec();
}

int Dialogs::MessageOk(QWidget* parent, const QString& text)
{
    if (TheScript().scripted)
        return NextAnswer(Kind::MessageOk, text);
    CMessageOk dialog(parent, text);
    return dialog.exec();
}

int Dialogs::Warning(QWidget* parent, const QString& text)
{
    if (TheScript().scripted)
        return NextAnswer(Kind::Warning, text);
    CWarningOk dialog(parent, text);
    return dialog.exec();
}

int Dialogs::Stop(QWidget* parent, const QString& text)
{
    if (TheScript().scripted)
        return NextAnswer(Kind::Stop, text);
    CStopDialog dialog(parent, text);
    return dialog.exec();
}

int Dialogs::FileExist(QWidget* parent)
{
    if (TheScript().scripted)
        return NextAnswer(Kind::FileExist, QString::fromLatin1(text::kFileExists));
    CFileExist dialog(parent);
    return dialog.exec();
}

int Dialogs::Connection(QWidget* parent, job::ConnectionAnswer& answer, std::function<void()> openHelp,
                        BlankDatabaseCreator createBlank)
{
    Script& script = TheScript();
    if (script.scripted) {
        const bool ready = !script.connections.empty();
        script.shown.append({Kind::Connection, QString(), ready});
        if (!ready)
            return job::kAnswerNo;
        auto [scripted, result] = script.connections.front();
        script.connections.pop_front();
        if (result == job::kAnswerOk)
            answer = scripted;
        return result;
    }
    CConnectionDlg dialog(parent, std::move(openHelp), std::move(createBlank));
    // The choice made last time stays chosen.
    (answer.exactRestore ? dialog.ExactChoice() : dialog.SalvageChoice())->setChecked(true);
    const int result = dialog.exec();
    if (result == job::kAnswerOk)
        dialog.TakeAnswer(answer);
    return result == job::kAnswerOk ? job::kAnswerOk : job::kAnswerNo;
}

QString Dialogs::OpenDatabaseFile(QWidget* parent, const QString& caption)
{
    if (TheScript().scripted)
        return NextFile(Kind::OpenFile, caption);
    QFileDialog* dialog = CreateDatabaseFileDialog(parent, caption);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    QString chosen;
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        chosen = dialog->selectedFiles().first();
    delete dialog;
    return chosen;
}

QString Dialogs::NewDatabaseFile(QWidget* parent, const QString& caption)
{
    if (TheScript().scripted)
        return NextFile(Kind::SaveFile, caption);
    QFileDialog* dialog = CreateDatabaseFileDialog(parent, caption);
    dialog->setOption(QFileDialog::ReadOnly, false);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("ib"));
    QString chosen;
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        chosen = dialog->selectedFiles().first();
    delete dialog;
    return chosen;
}

QString Dialogs::SaveLogFile(QWidget* parent, const QString& initialName)
{
    if (TheScript().scripted)
        return NextFile(Kind::SaveFile, initialName);
    QFileDialog dialog(parent, QStringLiteral("Save Log"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromLatin1(text::kLogFilter));
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

QString Dialogs::SelectFolder(QWidget* parent, const QString& title)
{
    if (TheScript().scripted)
        return NextFile(Kind::Folder, title);
    static QString lastFolder = QDir::homePath();
    const QString folder = QFileDialog::getExistingDirectory(
        parent, title, lastFolder, QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (!folder.isEmpty())
        lastFolder = folder;
    return folder;
}

void Dialogs::SetScripted(bool scripted)
{
    TheScript() = Script{};
    TheScript().scripted = scripted;
}

bool Dialogs::Scripted()
{
    return TheScript().scripted;
}

void Dialogs::PushAnswer(int answer)
{
    TheScript().answers.push_back(answer);
}

void Dialogs::PushFile(const QString& path)
{
    TheScript().files.push_back(path);
}

void Dialogs::PushConnection(const job::ConnectionAnswer& answer, int result)
{
    TheScript().connections.emplace_back(answer, result);
}

void Dialogs::SetShowHook(std::function<void(const Shown&)> hook)
{
    TheScript().showHook = std::move(hook);
}

QList<Dialogs::Shown> Dialogs::TakeShown()
{
    return std::exchange(TheScript().shown, {});
}

}  // namespace ravelin::ui
