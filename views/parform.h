#pragma once

#include "config/textcodec.h"
#include "link/busyretry.h"
#include "views/parcatalogue.h"
#include "views/syspar.h"

#include <QWidget>

class QTimer;
class QTreeWidgetItem;
class ReadStatusLine;

namespace Ui {
class ParForm;
}

// The parameter page: SYS.PAR fetched from the selected controller (on every
// show) or opened from a local copy, its groups listed as a tree, one group at
// a time shown as a table with the meaning of the bit under the current cell.
// The page never writes parameters back to the controller. Another selection
// clears it (and fetches the new controller's text while the page is shown).
class ParForm : public QWidget
{
    Q_OBJECT

public:
    explicit ParForm(QWidget *parent = nullptr);
    ~ParForm() override;

    // Reads SYS.PAR from the selected device and, on result 0, puts it in
    // place. Refused (returning the busy code) while a read of this page waits.
    int loadFromController();
    // Asks for a local SYS.PAR and puts it in place.
    void openLocalFile();
    // Asks where to save the parameter text and saves it there.
    void saveToLocalFile();
    // Shows the group of a tree item; items without a section do nothing.
    void showGroup(QTreeWidgetItem *item);

    QString parameterText() const;

    // For the tests: the last read's result and whether a read waits now.
    int lastResult() const { return m_lastResult; }
    bool isReading() const { return m_reading; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void fetch();
    void fillTree();
    void setParameters(const TextCodec::DecodedText &parameters);
    void explainCell(int column);
    void clearTable();
    void dropShownController();
    const ParCatalogue::Entry *entryOf(const QTreeWidgetItem *item) const;

    Ui::ParForm *ui = nullptr;
    ReadStatusLine *m_readStatus = nullptr;
    ParCatalogue::BitDescriptions m_bitDescriptions;
    QStringList m_descriptions; // of the bit group on show
    SysPar::RowLabels m_labels;
    // The text in place, as it came (from the controller or a local file):
    // "下载至本地" saves these bytes.
    TextCodec::DecodedText m_parameters;
    QTimer *m_fetchTimer = nullptr;
    BusyRetry m_busy;
    bool m_reading = false;
    quint64 m_textGeneration = 0; // counts the texts put in place
    quint64 m_selection = 0;      // counts selection changes
    int m_lastResult = -1;
};
