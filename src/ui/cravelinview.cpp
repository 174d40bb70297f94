#include "ui/cravelinview.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>

#include "ui/uitext.h"

namespace ravelin::ui {

namespace {
constexpr int kButtonHeight = 30;
}

CRavelinView::CRavelinView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CRavelinView"));
    setMinimumSize(100, 100);
    previousButton = new QPushButton(QString::fromLatin1(text::kPreviousRecords), this);
    nextButton = new QPushButton(QString::fromLatin1(text::kNextRecords), this);
    previousButton->setObjectName(QStringLiteral("previousRecords"));
    nextButton->setObjectName(QStringLiteral("nextRecords"));
    previousButton->hide();
    nextButton->hide();
    connect(nextButton, &QPushButton::clicked, this, &CRavelinView::NextClicked);
    connect(previousButton, &QPushButton::clicked, this, &CRavelinView::PreviousClicked);
}

QTableWidget* CRavelinView::MakeList(const QStringList& headers)
{
    auto* list = new QTableWidget(this);
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setWordWrap(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    list->horizontalHeader()->setMinimumSectionSize(1);
    list->horizontalHeader()->setStretchLastSection(false);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setHighlightSections(false);
    list->setColumnCount(static_cast<int>(headers.size()));
    list->setHorizontalHeaderLabels(headers);
    return list;
}

int CRavelinView::ClientWidth(const QTableWidget* list)
{
    return list ? list->contentsRect().width() : 0;
}

void CRavelinView::Build(Kind kind)
{
    if (!tabs) {
        tabs = new QTabBar(this);
        tabs->setObjectName(QStringLiteral("CMyTab"));
        tabs->setStyleSheet(QStringLiteral("QTabBar::tab { min-width: 120px; }"));
        tabs->setExpanding(false);
        tabs->setDrawBase(true);
        if (kind == Kind::Table) {
            tabs->addTab(QStringLiteral("Table Data"));
            tabs->addTab(QStringLiteral("Properties"));
            tabs->addTab(QStringLiteral("Keys and Constraints"));
        } else {
            tabs->addTab(QStringLiteral("Properties"));
        }
        connect(tabs, &QTabBar::currentChanged, this, [this](int index) {
            // A view or an index has the Properties tab alone.
            TabSelected(grid ? index : 1);
        });
        tabs->show();
    }
    selectedTab = kind == Kind::Table ? 0 : 1;
    if (!properties) {
        switch (kind) {
        case Kind::Table:
            properties = MakeList({QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Character Set"),
                                   QStringLiteral("Default Value"), QStringLiteral("Allow Nulls")});
            break;
        case Kind::View:
            properties = MakeList({QStringLiteral("View Column Name"), QStringLiteral("Relation Table"),
                                   QStringLiteral("Select Statement"), QStringLiteral("Datatype")});
            break;
        case Kind::Index:
            properties = MakeList({QStringLiteral("Column Name"), QStringLiteral("Relation Table"),
                                   QStringLiteral("Foreign Key"), QStringLiteral("Unique")});
            break;
        }
        properties->setObjectName(QStringLiteral("properties"));
        if (kind == Kind::Table) {
            keys = MakeList(
                {QStringLiteral("Column Name"), QStringLiteral("Key(s)"), QStringLiteral("Constraint(s)")});
            keys->setObjectName(QStringLiteral("keys"));
        }
    }
    if (kind == Kind::Table) {
        grid = MakeList({});
        grid->setObjectName(QStringLiteral("grid"));
        grid->show();
        properties->hide();
        if (keys)
            keys->hide();
    } else {
        properties->show();
    }
    Layout();
    // Column widths follow the lists' width once placed.
    const int width = ClientWidth(properties);
    for (int c = 0; c < properties->columnCount(); ++c)
        properties->setColumnWidth(c, (width + 5) / 5 - 22);
    if (keys) {
        for (int c = 0; c < keys->columnCount(); ++c)
            keys->setColumnWidth(c, (ClientWidth(keys) + 5) / 5);
    }
    UpdatePagingButtons();
    update();
}

void CRavelinView::ResetToBackground()
{
    delete grid;
    delete properties;
    delete keys;
    delete tabs;
    grid = nullptr;
    properties = nullptr;
    keys = nullptr;
    tabs = nullptr;
    selectedTab = 0;
    UpdatePagingButtons();
    update();
}

void CRavelinView::TabSelected(int index)
{
    selectedTab = index;
    if (grid)
        grid->setVisible(index == 0);
    if (properties)
        properties->setVisible(index == 1);
    if (keys)
        keys->setVisible(index == 2);
    Layout();
    UpdatePagingButtons();
}

void CRavelinView::HidePagingButtons()
{
    nextButton->hide();
    previousButton->hide();
}

void CRavelinView::UpdatePagingButtons()
{
    const bool shown = grid != nullptr && selectedTab == 0;
    nextButton->setVisible(shown);
    previousButton->setVisible(shown);
    if (shown) {
        nextButton->raise();
        previousButton->raise();
    }
}

void CRavelinView::Layout()
{
    const QRect area = rect();
    if (tabs) {
        const int tabHeight = tabs->sizeHint().height();
        tabs->setGeometry(0, 0, area.width(), tabHeight);
        const QRect below(0, tabHeight, area.width(), std::max(0, area.height() - tabHeight));
        if (properties)
            properties->setGeometry(below);
        if (keys)
            keys->setGeometry(below);
        if (grid)
            grid->setGeometry(below.adjusted(0, 0, 0, -kButtonHeight));
    }
    const int half = area.width() / 2;
    previousButton->setGeometry(0, area.height() - kButtonHeight, half, kButtonHeight);
    nextButton->setGeometry(half, area.height() - kButtonHeight, area.width() - half, kButtonHeight);
}

void CRavelinView::resizeEvent(QResizeEvent*)
{
    Layout();
}

void CRavelinView::paintEvent(QPaintEvent*)
{
    if (tabs)
        return;
    // The background picture: the product's mark and a short hint.
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, QColor(0xf7, 0xf9, 0xfc));
    gradient.setColorAt(1, QColor(0xe3, 0xea, 0xf3));
    painter.fillRect(rect(), gradient);
    const QIcon icon = QApplication::windowIcon();
    int y = std::max(24, height() / 4);
    if (!icon.isNull()) {
        const int size = 96;
        painter.drawPixmap((width() - size) / 2, y, icon.pixmap(size, size));
        y += size + 16;
    }
    QFont title = font();
    title.setPointSizeF(title.pointSizeF() * 2.2);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(QColor(0x2d, 0x3e, 0x55));
    painter.drawText(QRect(0, y, width(), QFontMetrics(title).height()), Qt::AlignHCenter,
                     QString::fromLatin1(text::kAppTitle));
    y += QFontMetrics(title).height() + 8;
    painter.setFont(font());
    painter.setPen(QColor(0x4a, 0x5a, 0x70));
    painter.drawText(QRect(16, y, width() - 32, height() - y), Qt::AlignHCenter | Qt::TextWordWrap,
                     QStringLiteral("Open a damaged InterBase database file to see its tables, views and indices.\n"
                                    "Select an object in the tree to preview its records and properties."));
}

}  // namespace ravelin::ui
