#pragma once

#include <QWidget>

class QTimer;

namespace Ui {
class PrgForm;
}

// The program page: the selected controller's program directory, one program
// in the colouring editor, and the update, new, delete and save operations.
// The program the buttons act on is the one named in label_programName.
class PrgForm : public QWidget
{
    Q_OBJECT

public:
    explicit PrgForm(QWidget *parent = nullptr);
    ~PrgForm() override;

    // Reads the directory afresh from the controller; on failure the table
    // keeps its rows.
    void readProgramList();
    // A double click on a name reads that program into the editor; a failed
    // read leaves the editor as it was.
    void previewProgram(int row, int column);
    void coverProgram();
    void newProgram();
    void deleteProgram();
    void downloadProgram();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void readList(bool retryWhenBusy);

    Ui::PrgForm *ui = nullptr;
    QTimer *m_listRetry = nullptr;
};
