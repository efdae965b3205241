#pragma once

#include "archive/textdiff.h"

#include <QDialog>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
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
    void setUnified(bool unified);
    void setIgnoreNumbering(bool ignore);
    // The lines that differ as the view shows them now.
    int changeCount() const;

    // A modal window with the compare of two texts.
    static void showDialog(QWidget *parent, const QString &leftTitle, const QString &left,
                           const QString &rightTitle, const QString &right);

private:
    void recompute();

    QComboBox *m_mode = nullptr;
    QCheckBox *m_ignore = nullptr;
    QLabel *m_summary = nullptr;
    QTableView *m_table = nullptr;
    CompareModel *m_model = nullptr;
    QString m_leftTitle;
    QString m_rightTitle;
    QStringList m_left;
    QStringList m_right;
    int m_changes = 0;
};
