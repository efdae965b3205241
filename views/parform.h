#pragma once

#include <QWidget>

namespace Ui {
class ParForm;
}

class ParForm : public QWidget
{
    Q_OBJECT

public:
    explicit ParForm(QWidget *parent = nullptr);
    ~ParForm() override;

private:
    Ui::ParForm *ui = nullptr;
};
