#include "views/parcatalogue.h"

#include "views/parcatalogue_p.h"

#include <algorithm>
#include <iterator>

namespace ParCatalogue {

namespace {

// Rows are headed by the key's suffix letter: x one per axis, c per channel,
// s per spindle, n a single row, i numbered. These keys are headed otherwise.
const char *const axisRowKeys[] = {
    "[RIPD]",  "[CIPD]",  "[TLDWV]", "[TLDWI]", "[TLDWM]",
    "[TLDBV]", "[TLDBI]", "[TLDBM]", "[TPIP]",  "[RPDFLc]",
};
const char *const channelRowKeys[] = {
    "[NCAX]",   "[SSN1Mn]", "[SSN1Sn]",  "[SSN2Mn]", "[SSN2Sn]", "[SSN3Mn]",
    "[SSN3Sn]", "[THDSTx]", "[THDFFRx]", "[RTPSx]",  "[PLTCx]",  "[PLFFRx]",
};
const char *const numberedRowKeys[] = {"[IOXWDn]", "[FPLROc]"};
// The macro calls of parameters 9020 to 9081 are set per channel.
constexpr int ChannelRowNumbersFirst = 9020;
constexpr int ChannelRowNumbersLast = 9081;

// The bit entries; every other entry shows one value per row.
const char *const bitKeys[] = {
    "[SETx]",   "[SVSETx]", "[SVFBSx]", "[CMPSTn]", "[REFc]",    "[REFx]",   "[CRSETc]", "[LMSTx]",
    "[LMSWx]",  "[LMCTc]",  "[HNDSTn]", "[SPSTc]",  "[SPSTs]",   "[SPLKs]",  "[SFBSs]",  "[SPCSs]",
    "[SPORs]",  "[SPMLKs]", "[SSYNc]",  "[SSYN2c]", "[SSYN3c]",  "[TSETc]",  "[TDI1c]",  "[TDI2c]",
    "[QPSETs]", "[QPLKs]",  "[QPPOs]",  "[TSSETs]", "[TSLKSTs]", "[TSPOs]",  "[LUBSTc]", "[DISPn]",
    "[DISP2n]", "[PCTSTc]", "[OPWSTn]", "[OPPSTn]", "[EDSETc]",  "[PSHn]",   "[JGSTn]",  "[ECSTn]",
    "[MBSTn]",  "[PSETc]",  "[PMSTc]",  "[RMSTc]",  "[PCSTc]",   "[PBSTc]",  "[PPOSc]",  "[TCSTc]",
    "[TCSFc]",  "[TLSTc]",  "[TLDSTc]", "[DIn]",    "[PLCSTn]",  "[ITSTc]",  "[FPLSTc]", "[FPLST2c]",
    "[FPLOVc]", "[FP3SWc]", "[FPSDc]",  "[FPLMRc]", "[FPLROc]",  "[FPLPOc]", "[FPLSOc]", "[FPLUKc]",
    "[FPWKc]",  "[HPSTn]",  "[CHPSTn]", "[THDSTx]", "[CSTc]",    "[MCSTc]",  "[RTPSx]",  "[RTPSs]",
    "[PLSTc]",  "[RTSTc]",  "[ASSTc]",  "[TQSTc]",  "[ASSx]",    "[MSETc]",  "[CHSTn]",  "[CHSLn]",
};
// "[MCSTc]" has two entries: 5101 shows its rows as values, 5120 as bits.
const int valueEntriesOfBitKeys[] = {5101};

// These titles close the parameter number with an ASCII ")" instead of "）".
struct NumberRange
{
    int first;
    int last;
};
const NumberRange asciiParenthesisNumbers[] = {
    {1013, 1013}, {1015, 1016}, {1020, 1021}, {1025, 1028}, {1401, 1402}, {1410, 1412},
    {1414, 1414}, {1420, 1425}, {2711, 2712}, {2720, 2723}, {2725, 2725},
};

const char MissingDescription[] = "该设置未录入，请联系相关人员";
const char NoDescription[] = "NULL";

template<typename List> bool listed(const List &list, const QString &key)
{
    return std::any_of(std::begin(list), std::end(list),
                       [&key](const char *listedKey) { return key == QLatin1String(listedKey); });
}

RowKind rowKindOf(const QString &key, int number)
{
    if (listed(axisRowKeys, key))
        return RowKind::Axes;
    if (listed(channelRowKeys, key) || (number >= ChannelRowNumbersFirst && number <= ChannelRowNumbersLast))
        return RowKind::Channels;
    if (listed(numberedRowKeys, key))
        return RowKind::Numbered;
    const QChar suffix = key.size() >= 2 ? key.at(key.size() - 2) : QChar();
    switch (suffix.unicode()) {
    case 'x':
        return RowKind::Axes;
    case 'c':
        return RowKind::Channels;
    case 's':
        return RowKind::Spindles;
    case 'n':
        return RowKind::Single;
    default:
        return RowKind::Numbered;
    }
}

int columnsOf(const QString &key, int number)
{
    const bool valueEntry = std::find(std::begin(valueEntriesOfBitKeys), std::end(valueEntriesOfBitKeys),
                                      number) != std::end(valueEntriesOfBitKeys);
    return listed(bitKeys, key) && !valueEntry ? BitColumns : 1;
}

QString titleOf(int number, const char *text)
{
    const bool ascii =
        std::any_of(std::begin(asciiParenthesisNumbers), std::end(asciiParenthesisNumbers),
                    [number](const NumberRange &r) { return number >= r.first && number <= r.last; });
    return QStringLiteral("（%1%2%3")
        .arg(number, 4, 10, QLatin1Char('0'))
        .arg(ascii ? QStringLiteral(")") : QStringLiteral("）"), QString::fromUtf8(text));
}

QVector<Group> buildGroups()
{
    int count = 0;
    const Data::GroupTable *tables = Data::groupTables(&count);
    QVector<Group> groups;
    groups.reserve(count);
    for (int g = 0; g < count; ++g) {
        const Data::GroupTable &table = tables[g];
        Group group;
        group.name = QString::fromUtf8(table.name);
        group.entries.reserve(table.count);
        for (int i = 0; i < table.count; ++i) {
            const Data::EntryRow &row = table.rows[i];
            Entry entry;
            entry.number = row.number;
            entry.key = QString::fromLatin1(row.key);
            entry.title = titleOf(row.number, row.text);
            entry.rowKind = rowKindOf(entry.key, row.number);
            entry.columns = columnsOf(entry.key, row.number);
            group.entries.append(entry);
        }
        groups.append(group);
    }
    return groups;
}

} // namespace

const QVector<Group> &groups()
{
    static const QVector<Group> built = buildGroups();
    return built;
}

QString rowKindText(RowKind kind)
{
    switch (kind) {
    case RowKind::Axes:
        return QStringLiteral("轴数");
    case RowKind::Channels:
        return QStringLiteral("通道数");
    case RowKind::Spindles:
        return QStringLiteral("主轴数");
    case RowKind::Single:
        return QStringLiteral("1");
    case RowKind::Numbered:
        break;
    }
    return QStringLiteral("未定");
}

BitDescriptions bitDescriptions()
{
    int count = 0;
    const Data::BitList *lists = Data::bitLists(&count);
    BitDescriptions map;
    for (int k = 0; k < count; ++k) {
        QStringList texts;
        for (const char *text : lists[k].texts) {
            if (!text)
                break;
            texts.append(QString::fromUtf8(text));
        }
        map.insert(QString::fromLatin1(lists[k].key), texts);
    }
    return map;
}

QStringList descriptionsFor(const BitDescriptions &descriptions, const QString &key)
{
    const auto it = descriptions.constFind(key);
    if (it == descriptions.constEnd())
        return {QString::fromUtf8(MissingDescription)};
    return it.value();
}

QString explanation(const QStringList &descriptions, int column)
{
    if (column >= 0 && column < descriptions.size())
        return descriptions.at(column);
    return QString::fromLatin1(NoDescription);
}

Table table(const Entry &entry, const QStringList &sectionRows, const SysPar::RowLabels &labels)
{
    Table result;
    switch (entry.rowKind) {
    case RowKind::Axes:
        result.headers = labels.axes;
        break;
    case RowKind::Channels:
        result.headers = labels.channels;
        break;
    case RowKind::Spindles:
        result.headers = labels.spindles;
        break;
    case RowKind::Single:
        result.headers = QStringList{QString()};
        break;
    case RowKind::Numbered:
        for (int i = 1; i <= qMin(sectionRows.size(), MaxTableRows + 1); ++i)
            result.headers.append(QString::number(i));
        break;
    }
    if (result.headers.size() > MaxTableRows) {
        result.headers = result.headers.mid(0, MaxTableRows);
        result.cut = true;
    }
    const bool bits = entry.columns == BitColumns;
    result.cells.resize(result.headers.size());
    const int shown = qMin(result.headers.size(), sectionRows.size());
    for (int i = 0; i < shown; ++i) {
        const QString &row = sectionRows.at(i);
        QStringList &cells = result.cells[i];
        if (bits) {
            for (int j = 0; j < qMin(row.size(), BitColumns); ++j)
                cells.append(QString(row.at(j)));
        } else {
            cells.append(row);
        }
    }
    return result;
}

} // namespace ParCatalogue
