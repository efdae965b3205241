#include "views/compareview.h"

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

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QVariant();
        if (m_unified) {
            switch (section) {
            case 0:
                return m_leftTitle;
            case 1:
                return m_rightTitle;
            case 2:
                return QString();
            default:
                return CompareView::tr("内容");
            }
        }
        return section < 2 ? m_leftTitle : m_rightTitle;
    }

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
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);

    connect(m_mode, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &CompareView::recompute);
    connect(m_ignore, &QCheckBox::toggled, this, &CompareView::recompute);
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
    m_summary->setText(m_changes == 0 ? tr("相同") : tr("%n 行不同", nullptr, m_changes));
    QHeaderView *header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    if (m_mode->currentIndex() == 1) {
        header->setSectionResizeMode(3, QHeaderView::Stretch);
    } else {
        header->setSectionResizeMode(1, QHeaderView::Stretch);
        header->setSectionResizeMode(3, QHeaderView::Stretch);
    }
    for (int column : {0, 2})
        m_table->setColumnWidth(column, 60);
}

void CompareView::showDialog(QWidget *parent, const QString &leftTitle, const QString &left,
                             const QString &rightTitle, const QString &right)
{
    // On the heap: the parent may go while the dialog waits in exec().
    const QPointer<QDialog> dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("compareDialog"));
    dialog->setWindowTitle(tr("比较"));
    dialog->resize(1000, 640);
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
