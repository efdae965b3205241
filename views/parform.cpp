#include "views/parform.h"

#include "ui_parform.h"

ParForm::ParForm(QWidget *parent) : QWidget(parent), ui(new Ui::ParForm)
{
    ui->setupUi(this);
}

ParForm::~ParForm()
{
    delete ui;
}
