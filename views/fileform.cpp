#include "views/fileform.h"

FileForm::FileForm(QWidget *parent) : QWidget(parent) {}
FileForm::~FileForm() = default;
