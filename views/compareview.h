#pragma once

#include "archive/textdiff.h"

#include <QDialog>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class CompareModel;

// Two texts line by line: side by side or unified, changed lines marked, and
// an option that ignores sequence numbers (N words) and spacing.
class CompareView : public QWidget
{
    Q_OBJECT

public:
    explicit CompareView(QWidget *parent = nullptr);
    ~CompareView() override;

    void setTexts(const QString &leftTitle, const QString &left, const QString &rightTitle,
                  const QString &right);
    // Shows nothing: the compare that was shown belongs to another choice.
    void clear();
    void setUnified(bool unified);
    void setIgnoreNumbering(bool ignore);
    // The lines that differ as the view shows them now.
    int changeCount() const;
    // The next or the previous difference (F7, Shift+F7), from the row of the
    // current one; a new compare starts at the first.
    void nextChange();
    void previousChange();

    // A modal window with the compare of two texts.
    static void showDialog(QWidget *parent, const QString &leftTitle, const QString &left,
                           const QString &rightTitle, const QString &right);

private:
    void recompute();
    void goToChange(int index);

    QComboBox *m_mode = nullptr;
    QCheckBox *m_ignore = nullptr;
    QLabel *m_summary = nullptr;
    QPushButton *m_previous = nullptr;
    QPushButton *m_next = nullptr;
    QTableView *m_table = nullptr;
    CompareModel *m_model = nullptr;
    QString m_leftTitle;
    QString m_rightTitle;
    QStringList m_left;
    QStringList m_right;
    int m_changes = 0;
    QVector<int> m_changeRows; // the first row of each difference, as shown
};
