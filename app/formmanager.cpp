#include "app/formmanager.h"

#include <QPointer>

static QPointer<FormManager> s_instance;

FormManager *FormManager::instance()
{
    if (!s_instance)
        s_instance = new FormManager;
    return s_instance;
}

FormManager::FormManager(QWidget *parent) : QWidget(parent) {}
FormManager::~FormManager() = default;
