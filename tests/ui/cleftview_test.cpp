#include "ui/cleftview.h"

#include <QSignalSpy>
#include <QtTest>

#include "uitestmodel.h"

using ravelin::ui::CLeftView;
using namespace ravelin::ui::testing;

namespace {

QTreeWidgetItem* Item(CLeftView& tree, const QString& text)
{
    const QList<QTreeWidgetItem*> found = tree.findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

char StateLetter(Qt::CheckState state)
{
    return state == Qt::Checked ? 'C' : state == Qt::PartiallyChecked ? 'P' : 'U';
}

// "name=C name=P ..." for the names asked.
QString States(CLeftView& tree, const QStringList& names)
{
    QStringList parts;
    for (const QString& name : names) {
        QTreeWidgetItem* item = Item(tree, name);
        parts << name + QLatin1Char('=') + (item ? QChar::fromLatin1(StateLetter(item->checkState(0))) : QChar('?'));
    }
    return parts.join(QLatin1Char(' '));
}

void FillTree(CLeftView& tree, const ravelin::catalogue::SchemaModel& model)
{
    std::uint16_t views = 0;
    std::uint16_t indices = 0;
    tree.Fill(QStringLiteral("damaged.gdb"), model, views, indices);
}

}  // namespace

class CLeftViewTest : public QObject {
    Q_OBJECT
private slots:
    void InitialStateIsTheCheckedRootAlone()
    {
        CLeftView tree;
        QCOMPARE(tree.topLevelItemCount(), 1);
        QCOMPARE(tree.Root()->text(0), QStringLiteral("Ravelin"));
        QCOMPARE(tree.Root()->checkState(0), Qt::Checked);
        QCOMPARE(tree.Root()->childCount(), 0);
    }

    void FillBuildsTheLayoutAndCountsViewsAndIndices()
    {
        CLeftView tree;
        tree.Root()->setCheckState(0, Qt::Unchecked);
        std::uint16_t views = 5;
        std::uint16_t indices = 1;
        tree.Fill(QStringLiteral("damaged.gdb"), MakeModel(), views, indices);
        QCOMPARE(views, std::uint16_t{6});
        QCOMPARE(indices, std::uint16_t{3});
        QTreeWidgetItem* database = tree.DatabaseNode();
        QVERIFY(database);
        QCOMPARE(database->text(0), QStringLiteral("damaged.gdb"));
        QCOMPARE(database->childCount(), 3);
        QCOMPARE(database->child(0)->text(0), QStringLiteral("Tables"));
        QCOMPARE(database->child(1)->text(0), QStringLiteral("Views"));
        QCOMPARE(database->child(2)->text(0), QStringLiteral("Indices"));
        QCOMPARE(database->child(0)->child(2)->text(0), QStringLiteral("ORDER_LINES"));
        QCOMPARE(database->child(2)->child(1)->text(0), QStringLiteral("IDX_ORDERS_DATE"));
        // Everything checked and expanded, the root checked again.
        QCOMPARE(tree.Root()->checkState(0), Qt::Checked);
        for (QTreeWidgetItem* item : tree.findItems(QString(), Qt::MatchContains | Qt::MatchRecursive)) {
            QCOMPARE(item->checkState(0), Qt::Checked);
            if (item->childCount())
                QVERIFY2(item->isExpanded(), qPrintable(item->text(0)));
        }
        tree.ClearUnderRoot();
        QCOMPARE(tree.topLevelItemCount(), 1);
        QCOMPARE(tree.Root()->childCount(), 0);
    }

    void CheckBoxRules_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unchecking the only checked table unchecks Tables, parents partly")
            << QStringList{"CUSTOMERS", "ORDERS", "ORDER_LINES"}
            << "Ravelin=P damaged.gdb=P Tables=U CUSTOMERS=U ORDERS=U ORDER_LINES=U Views=C";
        QTest::newRow("one table unchecked leaves the ancestors partly checked")
            << QStringList{"ORDERS"} << "Ravelin=P damaged.gdb=P Tables=P CUSTOMERS=C ORDERS=U ORDER_LINES=C Views=C";
        QTest::newRow("clicking a partly checked category unchecks it and its objects")
            << QStringList{"ORDERS", "Tables"}
            << "Ravelin=P damaged.gdb=P Tables=U CUSTOMERS=U ORDERS=U ORDER_LINES=U Views=C";
        QTest::newRow("checking the last unchecked sibling checks every ancestor")
            << QStringList{"ORDERS", "ORDERS"}
            << "Ravelin=C damaged.gdb=C Tables=C CUSTOMERS=C ORDERS=C ORDER_LINES=C Views=C";
        QTest::newRow("the database node passes its state to every descendant")
            << QStringList{"damaged.gdb"}
            << "Ravelin=U damaged.gdb=U Tables=U CUSTOMERS=U ORDERS=U ORDER_LINES=U Views=U";
        QTest::newRow("checking an unchecked category checks its objects and the parents")
            << QStringList{"damaged.gdb", "Tables"}
            << "Ravelin=P damaged.gdb=P Tables=C CUSTOMERS=C ORDERS=C ORDER_LINES=C Views=U";
        QTest::newRow("the root checks the whole tree again")
            << QStringList{"ORDERS", "Views", "Ravelin", "Ravelin"}
            << "Ravelin=C damaged.gdb=C Tables=C CUSTOMERS=C ORDERS=C ORDER_LINES=C Views=C";
    }

    void CheckBoxRules()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QString, expected);
        CLeftView tree;
        FillTree(tree, MakeModel());
        for (const QString& name : clicks)
            tree.ClickCheckBox(Item(tree, name));
        QStringList names;
        for (const QString& part : expected.split(QLatin1Char(' ')))
            names << part.section(QLatin1Char('='), 0, 0);
        QCOMPARE(States(tree, names), expected);
    }

    void MouseHitsCheckBoxLabelOrNeither()
    {
        CLeftView tree;
        tree.resize(300, 400);
        FillTree(tree, MakeModel());
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QSignalSpy names(&tree, &CLeftView::NameClicked);
        QTreeWidgetItem* orders = Item(tree, QStringLiteral("ORDERS"));

        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.CheckBoxRect(orders).center());
        QCOMPARE(orders->checkState(0), Qt::Unchecked);
        QCOMPARE(Item(tree, QStringLiteral("Tables"))->checkState(0), Qt::PartiallyChecked);
        QCOMPARE(names.count(), 0);

        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.LabelRect(orders).center());
        QCOMPARE(names.count(), 1);
        QCOMPARE(names.first().first().value<QTreeWidgetItem*>(), orders);
        QCOMPARE(orders->checkState(0), Qt::Unchecked);

        // The image between box and text: ordinary behaviour, no toggle, no name click.
        const QRect box = tree.CheckBoxRect(orders);
        const QRect label = tree.LabelRect(orders);
        QVERIFY(label.left() - box.right() > 4);
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint((box.right() + label.left()) / 2, box.center().y()));
        QCOMPARE(names.count(), 1);
        QCOMPARE(orders->checkState(0), Qt::Unchecked);
    }

    void CheckedNamesFollowTreeOrder()
    {
        CLeftView tree;
        FillTree(tree, MakeModel());
        tree.ClickCheckBox(Item(tree, QStringLiteral("ORDERS")));
        tree.ClickCheckBox(Item(tree, QStringLiteral("PK_CUSTOMERS")));
        std::vector<std::string> names;
        QVERIFY(tree.CheckedNames(names));
        QCOMPARE(names, (std::vector<std::string>{"CUSTOMERS", "ORDER_LINES", "BIG_ORDERS", "IDX_ORDERS_DATE"}));

        // All tables unchecked but Views checked: the table selection is missing.
        tree.ClickCheckBox(Item(tree, QStringLiteral("Tables")));
        QCOMPARE(Item(tree, QStringLiteral("Tables"))->checkState(0), Qt::Unchecked);
        QCOMPARE(Item(tree, QStringLiteral("Views"))->checkState(0), Qt::Checked);
        QVERIFY(!tree.CheckedNames(names));
        QVERIFY(names.empty());
    }

    void MarkRepairedClearsOnlyTheFirstCheckedExactMatch()
    {
        CLeftView tree;
        ravelin::catalogue::SchemaModel model = MakeModel();
        // A view with a table's name: the first checked occurrence goes.
        model.views.front().name = "ORDERS";
        FillTree(tree, model);
        const QList<QTreeWidgetItem*> both =
            tree.findItems(QStringLiteral("ORDERS"), Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(both.size(), 2);

        QVERIFY(!tree.MarkOneRepaired(QStringLiteral("orders")));  // letter case counts
        QVERIFY(tree.MarkOneRepaired(QStringLiteral("ORDERS")));
        QCOMPARE(both[0]->checkState(0), Qt::Unchecked);
        QCOMPARE(both[1]->checkState(0), Qt::Checked);
        // Only the object's own box changes.
        QCOMPARE(Item(tree, QStringLiteral("Tables"))->checkState(0), Qt::Checked);
        QVERIFY(tree.MarkOneRepaired(QStringLiteral("ORDERS")));
        QCOMPARE(both[1]->checkState(0), Qt::Unchecked);

        // Objects under an unchecked category are passed over.
        tree.ClickCheckBox(Item(tree, QStringLiteral("Indices")));
        Item(tree, QStringLiteral("PK_CUSTOMERS"))->setCheckState(0, Qt::Checked);
        QVERIFY(!tree.MarkOneRepaired(QStringLiteral("PK_CUSTOMERS")));

        tree.MarkAllRepaired();
        QCOMPARE(tree.DatabaseNode()->checkState(0), Qt::Unchecked);
        for (int c = 0; c < 3; ++c)
            QCOMPARE(tree.DatabaseNode()->child(c)->checkState(0), Qt::Unchecked);
        QCOMPARE(Item(tree, QStringLiteral("CUSTOMERS"))->checkState(0), Qt::Checked);
    }

    void FindVisible_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<QString>("selected");  // empty: search from the root
        QTest::addColumn<QString>("collapsed");
        QTest::addColumn<QString>("expected");  // empty: not found
        QTest::newRow("lower-case text finds upper-case name") << "orders" << false << "" << "" << "ORDERS";
        QTest::newRow("match case passes over other letter case") << "orders" << true << "" << "" << "";
        QTest::newRow("match case exact") << "LINES" << true << "" << "" << "ORDER_LINES";
        QTest::newRow("only the first occurrence is compared") << "ABC" << true << "" << "" << "ABCabc";
        QTest::newRow("first occurrence exact") << "abc" << true << "" << "" << "abcABC";
        QTest::newRow("collapsed category is not searched") << "BIG" << false << "" << "Views" << "";
        QTest::newRow("find next starts after the selection") << "order" << false << "ORDERS" << "" << "ORDER_LINES";
        QTest::newRow("find next reaches later categories") << "order" << false << "ORDER_LINES" << "" << "BIG_ORDERS";
        QTest::newRow("the root is searched too") << "rav" << false << "" << "" << "Ravelin";
    }

    void FindVisible()
    {
        QFETCH(QString, text);
        QFETCH(bool, matchCase);
        QFETCH(QString, selected);
        QFETCH(QString, collapsed);
        QFETCH(QString, expected);
        CLeftView tree;
        ravelin::catalogue::SchemaModel model = MakeModel();
        // The same letters twice: first in one letter case, then in the other.
        model.tables.push_back(MakeTable("abcABC", {"A"}));
        model.tables.push_back(MakeTable("ABCabc", {"A"}));
        FillTree(tree, model);
        if (!collapsed.isEmpty())
            Item(tree, collapsed)->setExpanded(false);
        if (!selected.isEmpty())
            tree.setCurrentItem(Item(tree, selected));
        QTreeWidgetItem* found = tree.FindVisible(text, matchCase, !selected.isEmpty());
        QCOMPARE(found ? found->text(0) : QString(), expected);
    }
};

QTEST_MAIN(CLeftViewTest)
#include "cleftview_test.moc"
