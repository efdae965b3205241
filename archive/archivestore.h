#pragma once

#include "archive/archiveindex.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>

// The local archive of texts a write or a delete replaced on a controller:
// <root>/<device>/<file name>/ holds one file per version, the bytes exactly
// as read, and index.tsv (when, operation, size, SHA-256), the newest `keep`
// versions of each name.
class ArchiveStore
{
    Q_DECLARE_TR_FUNCTIONS(ArchiveStore)

public:
    explicit ArchiveStore(const QString &root, int keep = ArchiveIndex::DefaultKeep);

    // The archive SET configures: its folder (archive/ beside Configure.xml
    // unless SET names another) and its bound.
    static ArchiveStore configured();
    static QString defaultRoot();

    QString folder(const QString &device, const QString &name) const;

    // Keeps one version. The version's file is complete before the index
    // names it, and the index is replaced whole, so a failure half-way leaves
    // the archive as it was. False (and why) when nothing was kept.
    bool keep(const QString &device, const QString &name, ArchiveIndex::Operation operation,
              const QByteArray &bytes, const QDateTime &when, QString *why) const;

    // Oldest first.
    QList<ArchiveIndex::Version> versions(const QString &device, const QString &name) const;
    // False when the file is gone or no longer matches its index line.
    bool read(const QString &device, const QString &name, const ArchiveIndex::Version &version,
              QByteArray *bytes) const;

private:
    QString m_root;
    int m_keep;
};
