#include "views/parform.h"

ParForm::ParForm(QWidget *parent) : QWidget(parent) {}
ParForm::~ParForm() = default;
