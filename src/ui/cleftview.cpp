#include "ui/cleftview.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include "catalogue/schemamodel.h"
#include "ui/cribbonbar.h"
#include "ui/uitext.h"

namespace ravelin::ui {

namespace {

// Gives the tree the delegate's own picture of an item, so the hit test
// uses exactly the rectangles that are painted.
class TreeDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    using QStyledItemDelegate::initStyleOption;
};

// The state after a node's children: all unchecked, all checked, or a mix.
Qt::CheckState StateFromChildren(const QTreeWidgetItem* item)
{
    bool anyChecked = false;
    bool anyUnchecked = false;
    for (int i = 0; i < item->childCount(); ++i) {
        const Qt::CheckState state = item->child(i)->checkState(0);
        if (state != Qt::Checked)
            anyUnchecked = true;
        if (state != Qt::Unchecked)
            anyChecked = true;
    }
    if (!anyChecked)
        return Qt::Unchecked;
    return anyUnchecked ? Qt::PartiallyChecked : Qt::Checked;
}

void SetDescendants(QTreeWidgetItem* item, Qt::CheckState state)
{
    for (int i = 0; i < item->childCount(); ++i) {
        item->child(i)->setCheckState(0, state);
        SetDescendants(item->child(i), state);
    }
}

}  // namespace

QString LowerPerUnit(const QString& text)
{
    QString lower = text;
    for (QChar& unit : lower)
        unit = unit.toLower();
    return lower;
}

CLeftView::CLeftView(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("CLeftView"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setUniformRowHeights(true);
    setItemDelegate(new TreeDelegate(this));
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);

    images = {QApplication::windowIcon().isNull() ? ThemeIcon("drive-harddisk") : QApplication::windowIcon(),
              ThemeIcon("drive-harddisk"), ThemeIcon("x-office-spreadsheet"), ThemeIcon("text-x-preview"),
              ThemeIcon("view-sort-ascending")};

    // Initial state: the root alone, checked.
    QTreeWidgetItem* root = AddNode(nullptr, QString::fromLatin1(text::kAppTitle), kImageRoot);
    (void)root;
}

QTreeWidgetItem* CLeftView::AddNode(QTreeWidgetItem* parent, const QString& text, Image image)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, text);
    item->setIcon(0, images.value(image));
    // Not user-checkable: the view applies its own check rules on a click.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(0, Qt::Checked);
    item->setData(0, Qt::UserRole, static_cast<int>(image));
    return item;
}

QTreeWidgetItem* CLeftView::DatabaseNode() const
{
    QTreeWidgetItem* root = Root();
    return root && root->childCount() ? root->child(0) : nullptr;
}

void CLeftView::ClearUnderRoot()
{
    QTreeWidgetItem* root = Root();
    if (!root)
        return;
    const QList<QTreeWidgetItem*> children = root->takeChildren();
    qDeleteAll(children);
}

void CLeftView::Fill(const QString& databaseName, const catalogue::SchemaModel& model, std::uint16_t& viewCount,
                     std::uint16_t& indexCount)
{
    QTreeWidgetItem* root = Root();
    if (!root)
        return;
    if (root->checkState(0) == Qt::Unchecked)
        root->setCheckState(0, Qt::Checked);
    QTreeWidgetItem* database = AddNode(root, databaseName, kImageDatabase);
    QTreeWidgetItem* tables = AddNode(database, QString::fromLatin1(text::kTables), kImageTable);
    QTreeWidgetItem* views = AddNode(database, QString::fromLatin1(text::kViews), kImageView);
    QTreeWidgetItem* indices = AddNode(database, QString::fromLatin1(text::kIndices), kImageIndex);
    database->setExpanded(true);
    for (const catalogue::TableNode& table : model.tables)
        AddNode(tables, QString::fromStdString(table.name), kImageTable);
    for (const catalogue::ViewNode& view : model.views) {
        AddNode(views, QString::fromStdString(view.name), kImageView);
        ++viewCount;
    }
    for (const catalogue::IndexNode& index : model.indices) {
        AddNode(indices, QString::fromStdString(index.name), kImageIndex);
        ++indexCount;
    }
    root->setExpanded(true);
    tables->setExpanded(true);
    views->setExpanded(true);
    indices->setExpanded(true);
}

void CLeftView::ClickCheckBox(QTreeWidgetItem* item)
{
    if (!item)
        return;
    const Qt::CheckState state = item->checkState(0) == Qt::Unchecked ? Qt::Checked : Qt::Unchecked;
    item->setCheckState(0, state);
    for (QTreeWidgetItem* ancestor = item->parent(); ancestor; ancestor = ancestor->parent())
        ancestor->setCheckState(0, StateFromChildren(ancestor));
    SetDescendants(item, state);
}

bool CLeftView::CheckedNames(std::vector<std::string>& names) const
{
    names.clear();
    QTreeWidgetItem* database = DatabaseNode();
    if (!database)
        return true;
    std::vector<std::string> collected;
    for (int c = 0; c < database->childCount(); ++c) {
        QTreeWidgetItem* category = database->child(c);
        if (category->checkState(0) != Qt::Unchecked) {
            for (int i = 0; i < category->childCount(); ++i) {
                if (category->child(i)->checkState(0) == Qt::Checked)
                    collected.push_back(category->child(i)->text(0).toStdString());
            }
        } else if (category->text(0).compare(QLatin1String(text::kTables), Qt::CaseInsensitive) == 0) {
            return false;
        }
    }
    names = std::move(collected);
    return true;
}

bool CLeftView::MarkOneRepaired(const QString& name)
{
    QTreeWidgetItem* database = DatabaseNode();
    if (!database)
        return false;
    for (int c = 0; c < database->childCount(); ++c) {
        QTreeWidgetItem* category = database->child(c);
        if (category->checkState(0) == Qt::Unchecked)
            continue;
        for (int i = 0; i < category->childCount(); ++i) {
            QTreeWidgetItem* object = category->child(i);
            if (object->checkState(0) == Qt::Checked && object->text(0) == name) {
                object->setCheckState(0, Qt::Unchecked);
                return true;
            }
        }
    }
    return false;
}

void CLeftView::MarkAllRepaired()
{
    QTreeWidgetItem* database = DatabaseNode();
    if (!database)
        return;
    if (database->checkState(0) != Qt::Unchecked)
        database->setCheckState(0, Qt::Unchecked);
    for (int c = 0; c < database->childCount(); ++c) {
        if (database->child(c)->checkState(0) != Qt::Unchecked)
            database->child(c)->setCheckState(0, Qt::Unchecked);
    }
}

QTreeWidgetItem* CLeftView::FindVisible(const QString& text, bool matchCase, bool fromSelected) const
{
    QTreeWidgetItem* item = Root();
    if (fromSelected) {
        const QList<QTreeWidgetItem*> selected = selectedItems();
        if (!selected.isEmpty())
            item = itemBelow(selected.first());
    }
    const QString lowerText = LowerPerUnit(text);
    for (; item; item = itemBelow(item)) {
        const QString shown = item->text(0);
        const qsizetype at = LowerPerUnit(shown).indexOf(lowerText);
        if (at < 0)
            continue;
        // With Match Case only the first occurrence is compared.
        if (!matchCase || shown.mid(at, text.size()) == text)
            return item;
    }
    return nullptr;
}

QStyleOptionViewItem CLeftView::ItemOption(QTreeWidgetItem* item) const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QModelIndex index = indexFromItem(item, 0);
    option.rect = visualRect(index);
    static_cast<TreeDelegate*>(itemDelegate())->initStyleOption(&option, index);
    return option;
}

QRect CLeftView::CheckBoxRect(QTreeWidgetItem* item) const
{
    const QStyleOptionViewItem option = ItemOption(item);
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

QRect CLeftView::LabelRect(QTreeWidgetItem* item) const
{
    const QStyleOptionViewItem option = ItemOption(item);
    QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
    // Only the text itself (with the style's margin), not the rest of the row.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    text.setWidth(std::min(text.width(), option.fontMetrics.horizontalAdvance(option.text) + 2 * margin));
    return text;
}

void CLeftView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        QTreeWidgetItem* item = itemAt(event->position().toPoint());
        if (item) {
            const QPoint at = event->position().toPoint();
            if (CheckBoxRect(item).contains(at)) {
                ClickCheckBox(item);
                event->accept();
                return;
            }
            if (LabelRect(item).contains(at)) {
                event->accept();
                emit NameClicked(item);
                return;
            }
        }
    }
    QTreeWidget::mousePressEvent(event);
}

}  // namespace ravelin::ui
