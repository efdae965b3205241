#pragma once

#include <QWidget>

class PrgForm : public QWidget
{
    Q_OBJECT

public:
    explicit PrgForm(QWidget *parent = nullptr);
    ~PrgForm() override;
};
