#pragma once

#include <QWidget>

class SetForm : public QWidget
{
    Q_OBJECT

public:
    explicit SetForm(QWidget *parent = nullptr);
    ~SetForm() override;
};
