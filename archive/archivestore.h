#pragma once

#include "archive/archiveindex.h"
#include "config/configstore.h"
#include "config/devicerecord.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>

// The local archive of texts a write or a delete replaced on a controller:
// <root>/<device>/<file name>/ holds one file per version, the bytes exactly
// as read, and index.tsv (when, operation, size, SHA-256), the newest `keep`
// versions of each name. <device> is deviceFolder()'s name for the device.
class ArchiveStore
{
    Q_DECLARE_TR_FUNCTIONS(ArchiveStore)

public:
    explicit ArchiveStore(const QString &root, int keep = ConfigStore::DefaultArchiveKeep);

    // The archive SET configures: its folder (archive/ beside Configure.xml
    // unless SET names another) and its bound.
    static ArchiveStore configured();
    static QString defaultRoot();

    QString folder(const QString &device, const QString &name) const;

    // The name of a device's folder under a root (the archive's, the
    // backups'): "<name>-<short Id>", kept by the Id. A folder found under
    // the device's earlier name, or under its bare name (kept before devices
    // had an Id), is the device's; with `settle` it is renamed to the
    // current name first (as it stays where that cannot be done). A record
    // without an Id has the bare name.
    static QString deviceFolder(const QString &root, const DeviceRecord &device, bool settle);
    QString deviceFolder(const DeviceRecord &device, bool settle) const
    {
        return deviceFolder(m_root, device, settle);
    }

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
