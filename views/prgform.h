#pragma once

#include <QWidget>

namespace Ui {
class PrgForm;
}

class PrgForm : public QWidget
{
    Q_OBJECT

public:
    explicit PrgForm(QWidget *parent = nullptr);
    ~PrgForm() override;

private:
    Ui::PrgForm *ui = nullptr;
};
