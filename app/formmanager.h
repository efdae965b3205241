#pragma once

#include <QWidget>

class FileForm;
class IoForm;
class ParForm;
class PosForm;
class PrgForm;
class SetForm;

namespace Ui {
class FormManager;
}

// The function area: six toggle buttons over a stack of the six views.
class FormManager : public QWidget
{
    Q_OBJECT

public:
    static FormManager *instance();
    ~FormManager() override;

private:
    explicit FormManager(QWidget *parent = nullptr);

    Ui::FormManager *ui = nullptr;
    PosForm *m_posForm = nullptr;
    IoForm *m_ioForm = nullptr;
    PrgForm *m_prgForm = nullptr;
    FileForm *m_fileForm = nullptr;
    ParForm *m_parForm = nullptr;
    SetForm *m_setForm = nullptr;
};
