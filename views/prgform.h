#pragma once

#include "archive/archiveindex.h"
#include "archive/controllertexts.h"
#include "config/textcodec.h"
#include "link/busyretry.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QTimer;
class ReadStatusLine;
class deviceWidget;

namespace Ui {
class PrgForm;
}

// The program page: the selected controller's program directory, one program
// in the colouring editor, and the update, new, delete and save operations.
// The program the buttons act on is the one named in label_programName, and
// only while the controller it was read from is the selected one: another
// selection clears the page and lists the new controller's programs.
class PrgForm : public QWidget
{
    Q_OBJECT

public:
    explicit PrgForm(QWidget *parent = nullptr);
    ~PrgForm() override;

    // Reads the directory afresh from the controller; on failure the table
    // keeps its rows and the status line says why.
    void readProgramList();
    // A double click on a name reads that program into the editor; a failed
    // read leaves the editor as it was.
    void previewProgram(int row, int column);
    void coverProgram();
    void newProgram();
    void deleteProgram();
    void downloadProgram();
    // The archived versions of the program in the editor (or the one
    // selected in the list) and their compare.
    void showHistory();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Reads the directory into the table; a good read also into *directory.
    int readList(bool retryWhenBusy, ControllerTexts::Directory *directory = nullptr);
    void dropShownController();
    bool isListed(const QString &name) const;
    // True when the program in the editor was read from the card selected
    // now; otherwise says so under `title` and the press does nothing.
    bool ownsShownProgram(const QString &title);
    // Before Update replaces the program: reads what the controller holds,
    // asks (with the compare one click away) when that is not what was
    // previewed, and keeps it in the archive. False when the update must not
    // go on; the page has said why.
    bool keepBeforeUpdate(const QString &name, int number);
    void showHistoryOf(const QString &name);
    // Before New or Delete: keeps what the controller holds under that number
    // (a program the directory does not list has nothing to keep).
    bool keepBefore(int number, ArchiveIndex::Operation operation, const QString &title,
                    const ControllerTexts::SharedDirectory &directory = {});
    // An action clicked while a wait of the selected device was under way
    // (the busy rule): true when it was put off, to run again once that wait
    // has returned, for the same selection.
    bool putOff(const std::function<void()> &action);

    Ui::PrgForm *ui = nullptr;
    QTimer *m_listRetry = nullptr;
    BusyRetry m_listBusy; // a list read refused as busy, tried again by m_listRetry
    BusyRetry m_actionBusy;
    ReadStatusLine *m_readStatus = nullptr;
    // Where the program in the editor came from; none until a preview.
    QPointer<deviceWidget> m_shownCard;
    int m_shownNumber = -1;
    // The program as previewed, for the question before an update.
    QByteArray m_previewedBytes;
    // The program as it was read, beside what the editor shows: an update or
    // a save writes it back in its encoding and line ends.
    TextCodec::DecodedText m_program;
    // Counts selection changes: a read that waited across one answered for a
    // controller that is no longer selected, and is dropped.
    quint64 m_selection = 0;
};
