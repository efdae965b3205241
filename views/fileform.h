#pragma once

#include <QWidget>

namespace Ui {
class FileForm;
}

class FileForm : public QWidget
{
    Q_OBJECT

public:
    explicit FileForm(QWidget *parent = nullptr);
    ~FileForm() override;

private:
    Ui::FileForm *ui = nullptr;
};
