// Program text as it comes off the controller or the keyboard, through the
// editor's line rebuild: any characters, and the rebuilt line must hold what
// the editor relies on.
#include "views/programwords.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

QString withoutSpaces(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (!c.isSpace())
            out.append(c);
    }
    return out;
}

// The class of each character other than white space, in order; aborts where
// the runs do not cover the text exactly.
QByteArray classes(const QString &text, const QVector<ProgramWords::Run> &runs)
{
    QByteArray out;
    int at = 0;
    for (const ProgramWords::Run &run : runs) {
        if (run.start != at || run.length <= 0)
            std::abort();
        for (int i = run.start; i < run.start + run.length; ++i) {
            if (!text.at(i).isSpace())
                out.append(char('0' + run.wordClass));
        }
        at += run.length;
    }
    if (at != text.size())
        std::abort();
    return out;
}

void checkLine(const QString &typed)
{
    const ProgramWords::Line line = ProgramWords::rebuildLine(typed);
    // The same characters, with spaces only where words meet.
    if (withoutSpaces(line.text) != withoutSpaces(typed))
        std::abort();
    if (ProgramWords::countSpaces(line.text) > withoutSpaces(typed).size())
        std::abort();
    // Runs cover the text in order, neighbours differ in class.
    int at = 0;
    for (int i = 0; i < line.runs.size(); ++i) {
        const ProgramWords::Run &run = line.runs.at(i);
        if (run.start != at || run.length <= 0 || int(run.wordClass) >= ProgramWords::ClassCount)
            std::abort();
        if (i > 0 && line.runs.at(i - 1).wordClass == run.wordClass)
            std::abort();
        at += run.length;
    }
    if (at != line.text.size())
        std::abort();
    // A rebuilt line is canonical.
    if (!(ProgramWords::rebuildLine(line.text) == line))
        std::abort();
    // The line as typed is coloured whole, each character other than white
    // space in the class the rebuild gives it.
    if (classes(typed, ProgramWords::typedRuns(typed)) != classes(line.text, line.runs))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Bytes as UTF-8 (what a local file holds), as raw UTF-16 (anything a
    // QString can carry, lone surrogates included), and mapped onto the
    // characters programs are made of, so the word rules are reached often.
    static const char alphabet[] = "GMFSTXYZNOgx0123456789.-+/()[]#=* \t\r\n";
    const QString utf8 = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    QString utf16(int(size / 2), Qt::Uninitialized);
    if (size >= 2)
        std::memcpy(utf16.data(), data, size / 2 * 2);
    QString program;
    for (size_t i = 0; i < size; ++i)
        program.append(QLatin1Char(alphabet[data[i] % (sizeof(alphabet) - 1)]));
    for (const QString &text : {utf8, utf16, program}) {
        const QStringList lines = ProgramWords::textLines(text);
        if (lines.isEmpty())
            std::abort();
        for (const QString &line : lines)
            checkLine(line);
        // Written back with a line feed after each line, the text splits the same.
        if (ProgramWords::textLines(lines.join(QLatin1Char('\n')) + QLatin1Char('\n')) != lines)
            std::abort();
    }
    return 0;
}
