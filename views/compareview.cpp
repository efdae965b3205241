#include "views/compareview.h"

#include "views/dialogs.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QColor RemovedColour(255, 220, 220);
const QColor AddedColour(220, 255, 220);
const QColor ChangedColour(255, 245, 200);

} // namespace

// Rows are made only for the lines in view: a program of ten thousand lines
// is one list of row numbers, not ten thousand items.
class CompareModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setResult(const QStringList &left, const QStringList &right, const QVector<TextDiff::Line> &lines,
                   bool unified, const QString &leftTitle, const QString &rightTitle)
    {
        beginResetModel();
        m_left = left;
        m_right = right;
        m_lines = lines;
        m_rows = TextDiff::sideBySide(lines);
        m_unified = unified;
        m_leftTitle = leftTitle;
        m_rightTitle = rightTitle;
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        if (parent.isValid())
            return 0;
        return m_unified ? m_lines.size() : m_rows.size();
    }

    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : 4;
    }

    // The titles head the text columns, where they have room; the narrow
    // line-number columns name them in their tool tips.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
            return QVariant();
        const bool number = m_unified ? section < 3 : section % 2 == 0;
        if (number && role == Qt::DisplayRole)
            return m_unified && section == 2 ? QString() : QStringLiteral("#");
        if (m_unified) {
            if (section == 0)
                return m_leftTitle;
            if (section == 1)
                return m_rightTitle;
            return CompareView::tr("− %1    + %2").arg(m_leftTitle, m_rightTitle);
        }
        return section < 2 ? m_leftTitle : m_rightTitle;
    }

    // The first row of each difference in the rows shown.
    QVector<int> changeRows() const
    {
        QVector<int> starts;
        const int rows = rowCount();
        bool inside = false;
        for (int row = 0; row < rows; ++row) {
            const bool differs = m_unified ? m_lines.at(row).kind != TextDiff::Line::Same
                                           : m_rows.at(row).kind != TextDiff::Row::Same;
            if (differs && !inside)
                starts.append(row);
            inside = differs;
        }
        return starts;
    }

    int lastLineNumber() const { return qMax(m_left.size(), m_right.size()); }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return QVariant();
        if (m_unified)
            return unifiedData(m_lines.at(index.row()), index.column(), role);
        return sideData(m_rows.at(index.row()), index.column(), role);
    }

private:
    static QVariant number(int line) { return line >= 0 ? QVariant(line + 1) : QVariant(); }

    QVariant unifiedData(const TextDiff::Line &line, int column, int role) const
    {
        if (role == Qt::BackgroundRole) {
            if (line.kind == TextDiff::Line::Removed)
                return QBrush(RemovedColour);
            if (line.kind == TextDiff::Line::Added)
                return QBrush(AddedColour);
            return QVariant();
        }
        if (role != Qt::DisplayRole)
            return QVariant();
        switch (column) {
        case 0:
            return number(line.left);
        case 1:
            return number(line.right);
        case 2:
            return line.kind == TextDiff::Line::Removed ? QStringLiteral("-")
                   : line.kind == TextDiff::Line::Added ? QStringLiteral("+")
                                                        : QString();
        default:
            return line.left >= 0 ? m_left.value(line.left) : m_right.value(line.right);
        }
    }

    QVariant sideData(const TextDiff::Row &row, int column, int role) const
    {
        const bool leftSide = column < 2;
        const int line = leftSide ? row.left : row.right;
        if (role == Qt::BackgroundRole) {
            if (row.kind == TextDiff::Row::Same || line < 0)
                return QVariant();
            if (row.kind == TextDiff::Row::Changed)
                return QBrush(ChangedColour);
            return QBrush(leftSide ? RemovedColour : AddedColour);
        }
        if (role != Qt::DisplayRole || line < 0)
            return QVariant();
        if (column % 2 == 0)
            return number(line);
        return leftSide ? m_left.value(line) : m_right.value(line);
    }

    QStringList m_left;
    QStringList m_right;
    QVector<TextDiff::Line> m_lines;
    QVector<TextDiff::Row> m_rows;
    bool m_unified = false;
    QString m_leftTitle;
    QString m_rightTitle;
};

CompareView::CompareView(QWidget *parent) : QWidget(parent), m_model(new CompareModel(this))
{
    setObjectName(QStringLiteral("compareView"));
    m_mode = new QComboBox(this);
    m_mode->setObjectName(QStringLiteral("compareMode"));
    m_mode->addItems({tr("并排"), tr("合并")});
    m_ignore = new QCheckBox(tr("忽略顺序号(N)和空格"), this);
    m_ignore->setObjectName(QStringLiteral("compareIgnoreNumbering"));
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("compareSummary"));
    m_previous = new QPushButton(tr("上一处"), this);
    m_previous->setObjectName(QStringLiteral("comparePrevious"));
    m_previous->setToolTip(tr("上一处不同 (Shift+F7)"));
    m_next = new QPushButton(tr("下一处"), this);
    m_next->setObjectName(QStringLiteral("compareNext"));
    m_next->setToolTip(tr("下一处不同 (F7)"));
    // Wherever the focus is in the view or its window.
    auto *next = new QShortcut(QKeySequence(Qt::Key_F7), this, nullptr, nullptr, Qt::WindowShortcut);
    auto *previous = new QShortcut(QKeySequence(int(Qt::SHIFT) | int(Qt::Key_F7)), this, nullptr, nullptr,
                                   Qt::WindowShortcut);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("compareTable"));
    m_table->setModel(m_model);
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);

    auto *bar = new QHBoxLayout;
    bar->addWidget(m_mode);
    bar->addWidget(m_ignore);
    bar->addStretch(1);
    bar->addWidget(m_summary);
    bar->addWidget(m_previous);
    bar->addWidget(m_next);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);

    connect(m_mode, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &CompareView::recompute);
    connect(m_ignore, &QCheckBox::toggled, this, &CompareView::recompute);
    connect(m_next, &QPushButton::clicked, this, &CompareView::nextChange);
    connect(m_previous, &QPushButton::clicked, this, &CompareView::previousChange);
    connect(next, &QShortcut::activated, this, &CompareView::nextChange);
    connect(previous, &QShortcut::activated, this, &CompareView::previousChange);
    recompute();
}

CompareView::~CompareView() = default;

void CompareView::setTexts(const QString &leftTitle, const QString &left, const QString &rightTitle,
                           const QString &right)
{
    m_leftTitle = leftTitle;
    m_rightTitle = rightTitle;
    m_left = TextDiff::lines(left);
    m_right = TextDiff::lines(right);
    recompute();
}

void CompareView::clear()
{
    setTexts(QString(), QString(), QString(), QString());
}

void CompareView::setUnified(bool unified)
{
    m_mode->setCurrentIndex(unified ? 1 : 0);
}

void CompareView::setIgnoreNumbering(bool ignore)
{
    m_ignore->setChecked(ignore);
}

int CompareView::changeCount() const
{
    return m_changes;
}

void CompareView::recompute()
{
    const QVector<TextDiff::Line> lines = TextDiff::compare(m_left, m_right, m_ignore->isChecked());
    m_changes = TextDiff::changeCount(lines);
    m_model->setResult(m_left, m_right, lines, m_mode->currentIndex() == 1, m_leftTitle, m_rightTitle);
    const bool shown = !m_left.isEmpty() || !m_right.isEmpty();
    m_summary->setText(!shown           ? QString()
                       : m_changes == 0 ? tr("相同")
                                        : tr("%n 行不同", nullptr, m_changes));
    const bool unified = m_mode->currentIndex() == 1;
    QHeaderView *header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    // Line numbers as wide as the largest, and no wider.
    const QFontMetrics metrics(m_table->font());
    const int numberWidth =
        metrics.horizontalAdvance(QString::number(m_model->lastLineNumber()) + QStringLiteral("00"));
    if (unified) {
        m_table->setColumnWidth(0, numberWidth);
        m_table->setColumnWidth(1, numberWidth);
        m_table->setColumnWidth(2, metrics.horizontalAdvance(QStringLiteral("+00")));
        header->setSectionResizeMode(3, QHeaderView::Stretch);
    } else {
        m_table->setColumnWidth(0, numberWidth);
        m_table->setColumnWidth(2, numberWidth);
        header->setSectionResizeMode(1, QHeaderView::Stretch);
        header->setSectionResizeMode(3, QHeaderView::Stretch);
    }
    m_changeRows = m_model->changeRows();
    m_next->setEnabled(!m_changeRows.isEmpty());
    m_previous->setEnabled(!m_changeRows.isEmpty());
    goToChange(0);
}

void CompareView::nextChange()
{
    const int row = m_table->currentIndex().row();
    for (int i = 0; i < m_changeRows.size(); ++i) {
        if (m_changeRows.at(i) > row) {
            goToChange(i);
            return;
        }
    }
}

void CompareView::previousChange()
{
    const int row = m_table->currentIndex().row();
    for (int i = m_changeRows.size() - 1; i >= 0; --i) {
        if (m_changeRows.at(i) < row) {
            goToChange(i);
            return;
        }
    }
}

void CompareView::goToChange(int index)
{
    if (index < 0 || index >= m_changeRows.size())
        return;
    const QModelIndex at = m_model->index(m_changeRows.at(index), 0);
    m_table->setCurrentIndex(at);
    m_table->scrollTo(at, QAbstractItemView::PositionAtCenter);
    m_summary->setText(tr("%n 行不同", nullptr, m_changes) +
                       tr(" (第 %1/%2 处)").arg(index + 1).arg(m_changeRows.size()));
}

void CompareView::showDialog(QWidget *parent, const QString &leftTitle, const QString &left,
                             const QString &rightTitle, const QString &right)
{
    // On the heap: the parent may go while the dialog waits in exec().
    const QPointer<QDialog> dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("compareDialog"));
    dialog->setWindowTitle(tr("比较"));
    Dialogs::fitToScreen(dialog, QSize(1000, 640));
    auto *view = new CompareView(dialog);
    view->setTexts(leftTitle, left, rightTitle, right);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(view, 1);
    layout->addWidget(buttons);
    dialog->exec();
    delete dialog;
}
