#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

// manifest.tsv of a whole-controller backup: one row per item the backup
// tried, in the order it tried them.
namespace Manifest {

constexpr char FileName[] = "manifest.tsv";

enum class Outcome {
    Saved,  // read whole and written to the backup folder
    Failed, // not read, or not written: there is no file for it
    Absent, // a system file this controller does not have
};
QString outcomeWord(Outcome outcome);

struct Row
{
    QString name; // the controller's own name: "O0001", "USRIO.TXT"
    qint64 size = 0;
    QByteArray sha256; // lower-case hex; empty unless saved
    Outcome outcome = Outcome::Failed;
};

bool operator==(const Row &a, const Row &b);

// The controller a backup was taken from, as its record stood then. Written
// as "# device<TAB>key<TAB>value" lines ahead of the rows, which readers of
// the rows alone pass over; a manifest written before them has none.
struct Device
{
    QString id;
    QString name;
    QString link;    // "tcp" or "rtu"
    QString address; // TCP: the IP address; RTU: the serial port
    int station = 0;
    QString model; // "P7", "P5", "P5X"
    bool isEmpty() const { return id.isEmpty() && name.isEmpty(); }
};

QByteArray format(const QList<Row> &rows, const Device &device = Device());
Device parseDevice(const QByteArray &text);
// Rows that do not parse (wrong column count, unknown outcome, a saved row
// without a size or hash) are skipped.
QList<Row> parse(const QByteArray &text);

// The system files a backup takes (those of the FILE page's selector).
const QStringList &systemFiles();
// A name a backup may hold as a file of its folder: a program name or one of
// systemFiles(). Anything else found there (a note, a file the desktop made)
// is never written to a controller.
bool isItemName(const QString &name);

} // namespace Manifest

Q_DECLARE_METATYPE(Manifest::Row)
