#pragma once

#include <QWidget>

class PosForm : public QWidget
{
    Q_OBJECT

public:
    explicit PosForm(QWidget *parent = nullptr);
    ~PosForm() override;
};
