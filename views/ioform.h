#pragma once

#include <QWidget>

class IoForm : public QWidget
{
    Q_OBJECT

public:
    explicit IoForm(QWidget *parent = nullptr);
    ~IoForm() override;
};
