#include "views/setform.h"

SetForm::SetForm(QWidget *parent) : QWidget(parent) {}
SetForm::~SetForm() = default;
