#include "views/ioform.h"

IoForm::IoForm(QWidget *parent) : QWidget(parent) {}
IoForm::~IoForm() = default;
