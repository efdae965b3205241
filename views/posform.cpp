#include "views/posform.h"

PosForm::PosForm(QWidget *parent) : QWidget(parent) {}
PosForm::~PosForm() = default;
