#pragma once

#include <QWidget>

class FileForm;
class IoForm;
class ParForm;
class PosForm;
class PrgForm;
class QRadioButton;
class SetForm;

namespace Ui {
class FormManager;
}

// The function area: six toggle buttons over a stack of the six views. Page
// changes hide one view and show another, and the views start and stop their
// controller traffic on those events.
class FormManager : public QWidget
{
    Q_OBJECT

public:
    // The one function area of the run, created on the first call; the main
    // window re-parents and in the end destroys it. It is never built again
    // (its views would start polling anew): after the destruction this
    // answers null.
    static FormManager *instance();
    // For tests only: destroys the area, if there is one, and lets the next
    // instance() build a fresh one.
    static void resetInstanceForTesting();
    ~FormManager() override;

private:
    explicit FormManager(QWidget *parent = nullptr);

    void showPageOf(QRadioButton *button);

    Ui::FormManager *ui = nullptr;
    PosForm *m_posForm = nullptr;
    IoForm *m_ioForm = nullptr;
    PrgForm *m_prgForm = nullptr;
    FileForm *m_fileForm = nullptr;
    ParForm *m_parForm = nullptr;
    SetForm *m_setForm = nullptr;
};
