#pragma once

#include <QWidget>

namespace Ui {
class FileForm;
}

// The system file page: reads a controller file chosen by name (or typed in)
// into an editable pane, finds text in it, and saves the pane on the PC. It
// never writes to the controller.
class FileForm : public QWidget
{
    Q_OBJECT

public:
    explicit FileForm(QWidget *parent = nullptr);
    ~FileForm() override;

private:
    void onFileChosen(int index);
    void readFile();
    void saveFile();
    void findNext();

    Ui::FileForm *ui = nullptr;
};
