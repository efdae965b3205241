#include "views/prgform.h"

PrgForm::PrgForm(QWidget *parent) : QWidget(parent) {}
PrgForm::~PrgForm() = default;
