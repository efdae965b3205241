#pragma once

#include "views/signaltable.h"

#include <QVector>
#include <QWidget>

class QCheckBox;
class QTableWidget;
class ViewPoller;

namespace Ui {
class IoForm;
}

// The signal page: the selected controller's inputs and outputs as two grids
// of lamps, named by the model's signal tables, read twice a second while the
// page is visible. Another selection puts every lamp out.
class IoForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int InputLampCount = 64;
    static constexpr int OutputLampCount = 40;
    static constexpr int NoModel = -1;

    explicit IoForm(QWidget *parent = nullptr);
    ~IoForm() override;

    // One read of the selected device; on any result but 0 nothing changes.
    void updateIo();

    void loadInputTable(int model);
    void loadOutputTable(int model);
    void applyInputNames(int model);
    void applyOutputNames(int model);

    // For the tests.
    QCheckBox *inputLamp(int index) const;
    QCheckBox *outputLamp(int index) const;
    int currentModel() const { return m_model; }
    int tableReads() const { return m_tableReads; }
    ViewPoller *poller() const { return m_poller; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Table
    {
        bool loaded = false; // a table that could not be opened is tried again
        QVector<SignalTable::Entry> entries;
    };

    static int tableIndex(int model);
    int readAndShow();
    void loadTable(const QString &direction, int model, Table *table);
    void applyNames(const Table &table, const QVector<QCheckBox *> &lamps);
    void showSignals(const QVector<quint16> &words, const Table &table, const QVector<QCheckBox *> &lamps);
    QVector<QCheckBox *> createLamps(QTableWidget *table, int count);
    void dropShownController();

    Ui::IoForm *ui = nullptr;
    int m_model = NoModel;
    Table m_inputTables[3];
    Table m_outputTables[3];
    QVector<QCheckBox *> m_inputLamps;
    QVector<QCheckBox *> m_outputLamps;
    ViewPoller *m_poller = nullptr;
    int m_tableReads = 0;
    quint64 m_selection = 0; // counts selection changes
};
