#include "ui/cfindtreeitem.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace ravelin::ui {

namespace {
constexpr char kFind[] = "Find";
constexpr char kFindNext[] = "Find Next";
}  // namespace

CFindTreeItem::CFindTreeItem(QWidget* parent) : QGroupBox(QStringLiteral("Search Tree Item"), parent)
{
    setObjectName(QStringLiteral("CFindTreeItem"));
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setVerticalSpacing(2);
    layout->addWidget(new QLabel(QStringLiteral("Find Items :"), this), 0, 0);
    textField = new QLineEdit(this);
    textField->setMinimumWidth(160);
    layout->addWidget(textField, 0, 1, 1, 2);
    matchCase = new QCheckBox(QStringLiteral("Match Case"), this);
    layout->addWidget(matchCase, 1, 1);
    findButton = new QPushButton(QString::fromLatin1(kFind), this);
    // Enter and Escape in the panel neither search nor close anything.
    findButton->setAutoDefault(false);
    findButton->setEnabled(false);
    findButton->setMinimumWidth(findButton->fontMetrics().horizontalAdvance(QString::fromLatin1(kFindNext)) + 24);
    layout->addWidget(findButton, 1, 2);

    connect(textField, &QLineEdit::textChanged, this, [this](const QString& text) {
        findButton->setText(QString::fromLatin1(kFind));
        findButton->setEnabled(!text.isEmpty());
    });
    connect(findButton, &QPushButton::clicked, this, &CFindTreeItem::Pressed);
}

void CFindTreeItem::Pressed()
{
    lastCaption = findButton->text();
    if (lastCaption.compare(QLatin1String(kFind), Qt::CaseInsensitive) == 0)
        findButton->setText(QString::fromLatin1(kFindNext));
    emit FindRequested(textField->text(), matchCase->isChecked());
}

void CFindTreeItem::RepairStarted()
{
    textField->setEnabled(false);
    matchCase->setEnabled(false);
    findButton->setEnabled(false);
}

void CFindTreeItem::RepairEnded()
{
    textField->setEnabled(true);
    matchCase->setEnabled(true);
    findButton->setEnabled(false);
}

}  // namespace ravelin::ui
