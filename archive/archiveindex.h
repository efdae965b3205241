#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// The rules of the local archive, without any file access: where a version
// goes, what its index line says, and which versions the bound drops. The
// store (archivestore.h) does the reading and writing.
namespace ArchiveIndex {

// What replaced or removed the archived text. Stored as these words in the
// index, whatever the language.
enum class Operation { Update, New, Delete, Upload, Restore };
QString operationWord(Operation operation);
// False for a word no version of this program writes.
bool operationFromWord(const QString &word, Operation *operation);

// One archived version of one file of one controller.
struct Version
{
    QDateTime when; // when it was taken from the controller
    Operation operation = Operation::Update;
    qint64 size = 0;
    QByteArray sha256; // lower-case hex
    QString file;      // the version's file name in the name's folder
};

bool operator==(const Version &a, const Version &b);

// The index file in every name's folder, oldest version first.
constexpr char IndexFileName[] = "index.tsv";

// A device or file name as one folder name on any file system: no separators,
// no characters Windows refuses, no control characters, not "." or "..", no
// trailing dot or space. Names a controller or a user gave are never a path.
QString folderName(const QString &name);

// "20261208-221916"; "20261208-221916-2" and on when `taken` already holds
// the plain name (two versions within one second).
QString versionFileName(const QDateTime &when, const QList<Version> &taken);

// Lower-case hex SHA-256 of the bytes.
QByteArray sha256(const QByteArray &bytes);

// The index as a tab-separated text, a header line first.
QByteArray format(const QList<Version> &versions);
// The versions of an index text. Lines that are not a version (a torn last
// line, a foreign edit, a file name that leaves the folder) are skipped, so
// one bad line never hides the others.
QList<Version> parse(const QByteArray &text);

// The versions beyond the newest `keep` (the oldest ones); keep < 1 keeps one.
QList<Version> beyondBound(const QList<Version> &versions, int keep);

} // namespace ArchiveIndex
