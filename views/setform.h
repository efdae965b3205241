#pragma once

#include <QWidget>

namespace Ui {
class SetForm;
}

class SetForm : public QWidget
{
    Q_OBJECT

public:
    explicit SetForm(QWidget *parent = nullptr);
    ~SetForm() override;

private:
    Ui::SetForm *ui = nullptr;
};
