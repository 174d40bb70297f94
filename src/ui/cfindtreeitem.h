#pragma once

// The find panel in the command bar: "Find Items :", the search text,
// "Match Case" and the Find / Find Next button. The button is enabled
// exactly while the text is not empty and reads "Find" again whenever the
// text changes. Pressing it asks the main frame to search the tree.

#include <QGroupBox>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace ravelin::ui {

class CFindTreeItem final : public QGroupBox {
    Q_OBJECT
public:
    explicit CFindTreeItem(QWidget* parent = nullptr);

    QLineEdit* TextField() const { return textField; }
    QCheckBox* MatchCase() const { return matchCase; }
    QPushButton* FindButton() const { return findButton; }

    // The button's caption at the last press ("Find" or "Find Next").
    QString lastCaption;

    // UM_REPAIR_STATE: a repair starts (all disabled) or ends (text and box
    // back, the button stays disabled until the text is edited).
    void RepairStarted();
    void RepairEnded();

signals:
    // The button was pressed: search for text.
    void FindRequested(const QString& text, bool matchCase);

private:
    void Pressed();

    QLineEdit* textField = nullptr;
    QCheckBox* matchCase = nullptr;
    QPushButton* findButton = nullptr;
};

}  // namespace ravelin::ui
