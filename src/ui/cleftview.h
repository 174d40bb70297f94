#pragma once

// The object tree: the root "Ravelin", one database node per scan with the
// categories "Tables", "Views" and "Indices", and one node per object found.
// Every node carries a three-state check box; the checked names are what a
// repair copies. A click on a check box toggles it by the rules below; a click
// on a node's text is handed to the main frame (preview start); clicks
// anywhere else get the tree's ordinary behaviour.

#include <string>
#include <vector>

#include <QTreeWidget>

namespace ravelin::catalogue {
class SchemaModel;
}

namespace ravelin::ui {

class CLeftView final : public QTreeWidget {
    Q_OBJECT
public:
    // Item images by level.
    enum Image { kImageRoot = 0, kImageDatabase = 1, kImageTable = 2, kImageView = 3, kImageIndex = 4 };

    explicit CLeftView(QWidget* parent = nullptr);

    QTreeWidgetItem* Root() const { return topLevelItemCount() ? topLevelItem(0) : nullptr; }
    // The first child of the root, or null.
    QTreeWidgetItem* DatabaseNode() const;

    // Removes everything under the root; the root stays.
    void ClearUnderRoot();
    // Appends the database node with its categories and objects, all checked
    // and expanded; adds the number of views and indices inserted to the
    // counters.
    void Fill(const QString& databaseName, const catalogue::SchemaModel& model, std::uint16_t& viewCount,
              std::uint16_t& indexCount);

    // The check-box rules: toggle the item, recompute its ancestors from
    // their children, give every descendant the item's new state.
    void ClickCheckBox(QTreeWidgetItem* item);

    // The names a repair copies: for each category checked or partly
    // checked, its checked children in tree order. Yields false (and no
    // names) when the "Tables" category is unchecked.
    bool CheckedNames(std::vector<std::string>& names) const;

    // Clears the check box of the first checked object named name under a
    // checked or partly checked category; yields whether one was found.
    bool MarkOneRepaired(const QString& name);
    // Clears the database node and every checked or partly checked category.
    void MarkAllRepaired();

    // The tree search: from the root, or after the selected item when
    // fromSelected is set, the first visible item whose text holds text
    // (with matchCase: whose first occurrence, found without regard to case,
    // also matches the letter case exactly). Null when none.
    QTreeWidgetItem* FindVisible(const QString& text, bool matchCase, bool fromSelected) const;

    // The width the items shown need, in pixels.
    int ContentWidth() const { return sizeHintForColumn(0); }

    // The name of the object the right view shows last (empty: background).
    QString shownObjectName;

    // Where on the item a point lies; used by the mouse and by tests.
    QRect CheckBoxRect(QTreeWidgetItem* item) const;
    QRect LabelRect(QTreeWidgetItem* item) const;

signals:
    // The text of an item was clicked.
    void NameClicked(QTreeWidgetItem* item);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QStyleOptionViewItem ItemOption(QTreeWidgetItem* item) const;
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& text, Image image);
    QList<QIcon> images;
};

// Lower-cases each UTF-16 unit on its own, so positions in the result are
// positions in the original text.
QString LowerPerUnit(const QString& text);

}  // namespace ravelin::ui
