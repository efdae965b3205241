#pragma once

#include "config/textcodec.h"
#include "link/busyretry.h"

#include <QWidget>

class ReadStatusLine;

namespace Ui {
class FileForm;
}

// The system file page: reads a controller file chosen by name (or typed in)
// into an editable pane, finds text in it, and saves the pane on the PC. It
// never writes to the controller. Another selection clears the pane.
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
    void dropShownController();

    Ui::FileForm *ui = nullptr;
    ReadStatusLine *m_readStatus = nullptr;
    BusyRetry m_busy;        // a read clicked while a wait of the device was under way
    QString m_noFileText;    // what label_fileName shows before any read
    quint64 m_selection = 0; // counts selection changes, as the program page does
    // The file last read into the pane, as it came: a save writes it in its
    // encoding and line ends.
    TextCodec::DecodedText m_file;
    // The pane's text as the search sees it; null until a search needs it
    // after a change.
    QString m_searchText;
};
