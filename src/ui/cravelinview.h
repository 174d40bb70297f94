#pragma once

// The right-hand view: with nothing selected a background picture; for a
// selected table the tabs "Table Data", "Properties" and "Keys and
// Constraints" (record grid with the paging buttons, property list, key
// list); for a view or an index the single tab "Properties". The tabs and
// lists are built when the user selects an object and filled by the main
// frame's message handlers while the preview job runs.

#include <QWidget>

class QPushButton;
class QTabBar;
class QTableWidget;

namespace ravelin::ui {

class CRavelinView final : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Table, View, Index };

    explicit CRavelinView(QWidget* parent = nullptr);

    // Builds the tabs and lists for an object of this kind.
    void Build(Kind kind);
    // Destroys tabs and lists and shows the background picture.
    void ResetToBackground();
    // Shows the list that belongs to the tab (0 Table Data, 1 Properties,
    // 2 Keys and Constraints).
    void TabSelected(int index);

    // Tabs and lists exist.
    bool Filled() const { return tabs != nullptr; }

    QTabBar* Tabs() const { return tabs; }
    QTableWidget* Grid() const { return grid; }
    QTableWidget* Properties() const { return properties; }
    QTableWidget* Keys() const { return keys; }
    QPushButton* NextButton() const { return nextButton; }
    QPushButton* PreviousButton() const { return previousButton; }

    // The paging buttons are shown exactly while a record grid exists and
    // its tab is the current one; hiding them lasts until the next update.
    void HidePagingButtons();
    void UpdatePagingButtons();

    // The list's width inside its frame.
    static int ClientWidth(const QTableWidget* list);

signals:
    void NextClicked();
    void PreviousClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QTableWidget* MakeList(const QStringList& headers);
    void Layout();

    QTabBar* tabs = nullptr;
    QTableWidget* grid = nullptr;
    QTableWidget* properties = nullptr;
    QTableWidget* keys = nullptr;
    QPushButton* nextButton = nullptr;
    QPushButton* previousButton = nullptr;
    int selectedTab = 0;
};

}  // namespace ravelin::ui
