#pragma once

// The command bar at the top of the main window: the application button
// with its menu, the quick-access buttons, the category tabs (File, Tools,
// Help) with their titled panels of large buttons and check boxes, and a
// right-hand area for the find panel and the logo.
//
// Every command is a QAction carrying its identifier; buttons, menu entries
// and check boxes all trigger the same action, so one enabling rule governs
// them all.

#include <map>

#include <QWidget>

#include "ui/commands.h"

class QAction;
class QMenu;
class QStackedWidget;
class QTabBar;
class QToolButton;
class QHBoxLayout;

namespace ravelin::ui {

class CRibbonBar final : public QWidget {
    Q_OBJECT
public:
    explicit CRibbonBar(QWidget* parent = nullptr);

    QAction* Action(CommandId id) const;
    QMenu* ApplicationMenu() const { return applicationMenu; }
    QToolButton* ApplicationButton() const { return applicationButton; }
    QTabBar* Categories() const { return categories; }
    // The widgets of one command on the ribbon (buttons or check box).
    QWidget* CommandWidget(CommandId id) const;
    QList<QToolButton*> QuickAccessButtons() const { return quickAccess; }
    // The panel titles of a category, in order.
    QStringList PanelTitles(const QString& category) const;

    // Places a widget in the right-hand area (after the panels).
    void AddTrailingWidget(QWidget* widget, int stretch = 0);

signals:
    void CommandTriggered(ravelin::ui::CommandId id);

private:
    std::map<int, QAction*> actions;
    std::map<int, QWidget*> commandWidgets;
    std::map<QString, QStringList> panelTitles;
    QMenu* applicationMenu = nullptr;
    QToolButton* applicationButton = nullptr;
    QList<QToolButton*> quickAccess;
    QTabBar* categories = nullptr;
    QStackedWidget* pages = nullptr;
    QHBoxLayout* bodyRow = nullptr;
};

// The icon for a freedesktop icon name from the installed theme.
QIcon ThemeIcon(const char* name);

}  // namespace ravelin::ui
