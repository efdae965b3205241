#pragma once

#include <QWidget>

class ParForm : public QWidget
{
    Q_OBJECT

public:
    explicit ParForm(QWidget *parent = nullptr);
    ~ParForm() override;
};
