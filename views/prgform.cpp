#include "views/prgform.h"

#include "ui_prgform.h"

PrgForm::PrgForm(QWidget *parent) : QWidget(parent), ui(new Ui::PrgForm)
{
    ui->setupUi(this);
}

PrgForm::~PrgForm()
{
    delete ui;
}
