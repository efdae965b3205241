#include "views/setform.h"

#include "ui_setform.h"

SetForm::SetForm(QWidget *parent) : QWidget(parent), ui(new Ui::SetForm)
{
    ui->setupUi(this);
}

SetForm::~SetForm()
{
    delete ui;
}
