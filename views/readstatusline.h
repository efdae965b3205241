#pragma once

#include <QLabel>

// The line a page shows while its last read from the selected controller
// failed, saying why: the page keeps what it showed before (or nothing), and
// without this line a failed read looked the same as one that found nothing
// new. Hidden while the last read succeeded.
class ReadStatusLine : public QLabel
{
    Q_OBJECT

public:
    explicit ReadStatusLine(QWidget *parent = nullptr);

    // Result::Ok hides the line; any other device result shows its reason.
    void setResult(int result);
    // A read that was not even tried, for the reason given.
    void setFailure(const QString &reason);
    void reset();

    static QString reason(int result);
};
