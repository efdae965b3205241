#include "app/formmanager.h"

#include "ui_formmanager.h"
#include "views/fileform.h"
#include "views/ioform.h"
#include "views/parform.h"
#include "views/posform.h"
#include "views/prgform.h"
#include "views/setform.h"

#include <QPointer>
#include <QRadioButton>

namespace {
QPointer<FormManager> s_instance;
bool s_built = false;
} // namespace

FormManager *FormManager::instance()
{
    if (!s_instance && !s_built) {
        s_built = true;
        s_instance = new FormManager;
    }
    return s_instance;
}

void FormManager::resetInstanceForTesting()
{
    delete s_instance.data();
    s_built = false;
}

FormManager::FormManager(QWidget *parent) : QWidget(parent), ui(new Ui::FormManager)
{
    ui->setupUi(this);

    // The stacked widget owns the views; page i belongs to button i.
    m_posForm = new PosForm(ui->stackedWidget);
    m_ioForm = new IoForm(ui->stackedWidget);
    m_prgForm = new PrgForm(ui->stackedWidget);
    m_fileForm = new FileForm(ui->stackedWidget);
    m_parForm = new ParForm(ui->stackedWidget);
    m_setForm = new SetForm(ui->stackedWidget);
    ui->stackedWidget->addWidget(m_posForm);
    ui->stackedWidget->addWidget(m_ioForm);
    ui->stackedWidget->addWidget(m_prgForm);
    ui->stackedWidget->addWidget(m_fileForm);
    ui->stackedWidget->addWidget(m_parForm);
    ui->stackedWidget->addWidget(m_setForm);
    ui->stackedWidget->setCurrentIndex(0);

    const QList<QRadioButton *> buttons{ui->radioButton_POS,  ui->radioButton_IO,  ui->radioButton_PRG,
                                        ui->radioButton_FILE, ui->radioButton_PAR, ui->radioButton_SET};
    for (QRadioButton *button : buttons)
        connect(button, &QRadioButton::clicked, this, [this, button] { showPageOf(button); });
}

FormManager::~FormManager()
{
    delete ui;
}

void FormManager::showPageOf(QRadioButton *button)
{
    QWidget *page = nullptr;
    if (button == ui->radioButton_POS)
        page = m_posForm;
    else if (button == ui->radioButton_IO)
        page = m_ioForm;
    else if (button == ui->radioButton_PRG)
        page = m_prgForm;
    else if (button == ui->radioButton_FILE)
        page = m_fileForm;
    else if (button == ui->radioButton_PAR)
        page = m_parForm;
    else if (button == ui->radioButton_SET)
        page = m_setForm;
    // Setting the page already shown is a no-op, so a repeated click sends no
    // second show event.
    if (page && ui->stackedWidget->currentWidget() != page)
        ui->stackedWidget->setCurrentWidget(page);
}
