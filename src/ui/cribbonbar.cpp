#include "ui/cribbonbar.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace ravelin::ui {

namespace {

// The toolkit's own picture for a command when the icon theme lacks one.
QStyle::StandardPixmap FallbackPixmap(const QString& name)
{
    if (name == QLatin1String("document-open"))
        return QStyle::SP_DialogOpenButton;
    if (name == QLatin1String("process-stop"))
        return QStyle::SP_BrowserStop;
    if (name == QLatin1String("application-exit"))
        return QStyle::SP_DialogCloseButton;
    if (name == QLatin1String("document-save"))
        return QStyle::SP_DialogSaveButton;
    if (name == QLatin1String("edit-clear"))
        return QStyle::SP_DialogResetButton;
    if (name == QLatin1String("system-software-update"))
        return QStyle::SP_BrowserReload;
    if (name.startsWith(QLatin1String("help")))
        return QStyle::SP_DialogHelpButton;
    if (name == QLatin1String("system-run"))
        return QStyle::SP_MediaPlay;
    if (name == QLatin1String("drive-harddisk"))
        return QStyle::SP_DriveHDIcon;
    return QStyle::SP_FileIcon;
}

QFrame* Separator(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

QIcon ThemeIcon(const char* name)
{
    static const bool themeChosen = [] {
        // Without a desktop session the toolkit may know no icon theme; the
        // one installed with the program's dependencies then serves.
        if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
            QIcon::setThemeName(QStringLiteral("Adwaita"));
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    (void)themeChosen;
    const QString iconName = QString::fromLatin1(name);
    QIcon icon = QIcon::fromTheme(iconName);
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(FallbackPixmap(iconName));
    return icon;
}

CRibbonBar::CRibbonBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ribbonBar"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral(
        "#ribbonBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f4f7fb, stop:1 #dfe7f1);"
        " border-bottom: 1px solid #a9b8cc; }"
        "QLabel#panelTitle { color: #3b4b61; }"
        "QToolButton#applicationButton { font-weight: bold; padding: 2px 8px; }"));

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 2, 4, 2);
    outer->setSpacing(2);

    // Actions first: buttons, the menu and the quick-access buttons share them.
    for (const CommandInfo& info : kRibbonCommands) {
        auto* action = new QAction(QString::fromLatin1(info.text), this);
        action->setData(static_cast<int>(info.id));
        action->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(info.id)));
        action->setToolTip(QString::fromLatin1(info.text));
        if (info.kind == CommandKind::CheckBox) {
            action->setCheckable(true);
            action->setChecked(true);
        } else {
            action->setIcon(ThemeIcon(info.iconName));
        }
        const CommandId id = info.id;
        connect(action, &QAction::triggered, this, [this, id] { emit CommandTriggered(id); });
        actions[id] = action;
    }

    // Top row: application button, quick access, category tabs.
    auto* topRow = new QHBoxLayout;
    topRow->setSpacing(4);
    applicationButton = new QToolButton(this);
    applicationButton->setObjectName(QStringLiteral("applicationButton"));
    applicationButton->setText(QStringLiteral("Ravelin"));
    applicationButton->setIcon(QApplication::windowIcon());
    applicationButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    applicationButton->setPopupMode(QToolButton::InstantPopup);
    applicationButton->setToolTip(QStringLiteral("Application menu"));
    applicationMenu = new QMenu(applicationButton);
    for (CommandId id : kApplicationMenu)
        applicationMenu->addAction(actions[id]);
    applicationButton->setMenu(applicationMenu);
    topRow->addWidget(applicationButton);
    for (CommandId id : kQuickAccess) {
        auto* button = new QToolButton(this);
        button->setDefaultAction(actions[id]);
        button->setAutoRaise(true);
        button->setIconSize(QSize(16, 16));
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setObjectName(QStringLiteral("quickAccess%1").arg(static_cast<int>(id)));
        quickAccess.append(button);
        topRow->addWidget(button);
    }
    topRow->addWidget(Separator(this));
    categories = new QTabBar(this);
    categories->setDrawBase(false);
    categories->setExpanding(false);
    topRow->addWidget(categories);
    topRow->addStretch();
    outer->addLayout(topRow);

    // Body: the current category's panels, then the trailing widgets.
    bodyRow = new QHBoxLayout;
    bodyRow->setSpacing(8);
    pages = new QStackedWidget(this);
    bodyRow->addWidget(pages);
    bodyRow->addStretch(1);
    outer->addLayout(bodyRow);

    QString category;
    QHBoxLayout* pageRow = nullptr;
    QString panel;
    QLayout* panelContent = nullptr;
    QWidget* page = nullptr;
    for (const CommandInfo& info : kRibbonCommands) {
        if (category != QLatin1String(info.category)) {
            category = QString::fromLatin1(info.category);
            categories->addTab(category);
            page = new QWidget(pages);
            pageRow = new QHBoxLayout(page);
            pageRow->setContentsMargins(0, 0, 0, 0);
            pageRow->setSpacing(4);
            pageRow->addStretch(1);
            pages->addWidget(page);
            panel.clear();
        }
        if (panel != QLatin1String(info.panel)) {
            panel = QString::fromLatin1(info.panel);
            panelTitles[category].append(panel);
            if (pageRow->count() > 1)
                pageRow->insertWidget(pageRow->count() - 1, Separator(page));
            auto* frame = new QWidget(page);
            auto* column = new QVBoxLayout(frame);
            column->setContentsMargins(2, 0, 2, 0);
            column->setSpacing(0);
            if (info.kind == CommandKind::CheckBox) {
                auto* boxes = new QVBoxLayout;
                boxes->setSpacing(2);
                panelContent = boxes;
                column->addLayout(boxes, 1);
            } else {
                auto* buttons = new QHBoxLayout;
                buttons->setSpacing(2);
                panelContent = buttons;
                column->addLayout(buttons, 1);
            }
            auto* title = new QLabel(panel.trimmed(), frame);
            title->setObjectName(QStringLiteral("panelTitle"));
            title->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
            column->addWidget(title);
            pageRow->insertWidget(pageRow->count() - 1, frame);
        }
        QAction* action = actions[info.id];
        if (info.kind == CommandKind::CheckBox) {
            auto* box = new QCheckBox(action->text(), page);
            box->setChecked(action->isChecked());
            box->setToolTip(action->toolTip());
            // The box triggers the command; the command's state drives the box.
            connect(box, &QCheckBox::clicked, action, [action, box] {
                box->setChecked(action->isChecked());
                action->trigger();
            });
            connect(action, &QAction::changed, box, [action, box] {
                box->setChecked(action->isChecked());
                box->setEnabled(action->isEnabled());
            });
            commandWidgets[info.id] = box;
            panelContent->addWidget(box);
        } else {
            auto* button = new QToolButton(page);
            button->setDefaultAction(action);
            button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
            button->setIconSize(QSize(32, 32));
            button->setAutoRaise(true);
            button->setMinimumWidth(64);
            commandWidgets[info.id] = button;
            panelContent->addWidget(button);
        }
    }
    pages->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    connect(categories, &QTabBar::currentChanged, pages, &QStackedWidget::setCurrentIndex);
}

QAction* CRibbonBar::Action(CommandId id) const
{
    auto it = actions.find(id);
    return it == actions.end() ? nullptr : it->second;
}

QWidget* CRibbonBar::CommandWidget(CommandId id) const
{
    auto it = commandWidgets.find(id);
    return it == commandWidgets.end() ? nullptr : it->second;
}

QStringList CRibbonBar::PanelTitles(const QString& category) const
{
    auto it = panelTitles.find(category);
    return it == panelTitles.end() ? QStringList() : it->second;
}

void CRibbonBar::AddTrailingWidget(QWidget* widget, int stretch)
{
    bodyRow->addWidget(widget, stretch, Qt::AlignBottom);
}

}  // namespace ravelin::ui
