#include "views/websetbox.h"

#include "config/configstore.h"
#include "web/webservice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

WebSetBox::WebSetBox(QWidget *parent)
    : QGroupBox(tr("车间看板"), parent), m_enabled(new QCheckBox(tr("在浏览器中提供车间看板（只读）"), this)),
      m_listen(new QLineEdit(this)), m_port(new QSpinBox(this)), m_source(new QComboBox(this)),
      m_tokenFile(new QLineEdit(this)), m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("groupBox_web"));
    m_enabled->setObjectName(QStringLiteral("checkBox_webEnabled"));
    m_listen->setObjectName(QStringLiteral("lineEdit_webListen"));
    m_listen->setToolTip(tr("127.0.0.1 只供本机；0.0.0.0 供车间网络中的所有电脑"));
    m_port->setObjectName(QStringLiteral("spinBox_webPort"));
    m_port->setRange(1, 65535);
    m_source->setObjectName(QStringLiteral("comboBox_webSource"));
    m_source->addItem(tr("本程序的设备"), QStringLiteral("fleet"));
    m_source->addItem(tr("MQTT 代理上所有采集端的设备"), QStringLiteral("broker"));
    m_tokenFile->setObjectName(QStringLiteral("lineEdit_webTokenFile"));
    m_tokenFile->setPlaceholderText(tr("可选：只有本用户可读的令牌文件"));
    m_status->setObjectName(QStringLiteral("label_webStatus"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *grid = new QGridLayout(this);
    grid->addWidget(m_enabled, 0, 0, 1, 4);
    const struct
    {
        QString label;
        QWidget *field;
        int row;
        int column;
    } fields[] = {
        {tr("监听地址"), m_listen, 1, 0},
        {tr("端口"), m_port, 1, 2},
        {tr("显示"), m_source, 2, 0},
        {tr("令牌文件"), m_tokenFile, 2, 2},
    };
    for (const auto &f : fields) {
        grid->addWidget(new QLabel(f.label, this), f.row, f.column);
        grid->addWidget(f.field, f.row, f.column + 1);
    }
    grid->addWidget(m_status, 3, 0, 1, 4);
}

void WebSetBox::load()
{
    const WebSettings settings = ConfigStore::instance()->webSettings();
    m_enabled->setChecked(settings.Enabled);
    m_listen->setText(settings.Listen);
    m_port->setValue(settings.Port);
    m_source->setCurrentIndex(settings.fromBroker() ? 1 : 0);
    m_tokenFile->setText(settings.TokenFile);
    m_refusal.clear();
    if (Web::WebService *service = Web::WebService::current())
        connect(service, &Web::WebService::statusChanged, this, &WebSetBox::showStatus, Qt::UniqueConnection);
    showStatus();
}

void WebSetBox::store()
{
    ConfigStore *config = ConfigStore::instance();
    WebSettings settings = config->webSettings();
    settings.Enabled = m_enabled->isChecked();
    settings.Listen = m_listen->text().trimmed();
    settings.Port = m_port->value();
    settings.Source = m_source->currentData().toString();
    settings.TokenFile = m_tokenFile->text().trimmed();
    if (QHostAddress(settings.Listen).isNull()) {
        m_refusal = tr("监听地址应为 IP 地址（如 127.0.0.1 或 0.0.0.0）。看板设置未保存");
        showStatus();
        return;
    }
    m_refusal.clear();
    config->setWebSettings(settings);
    if (Web::WebService *service = Web::WebService::current())
        service->apply(settings, config->mqttSettings(), config->language());
    showStatus();
}

void WebSetBox::showStatus()
{
    const Web::WebService *service = Web::WebService::current();
    m_status->setText(!m_refusal.isEmpty() ? m_refusal : service ? service->statusText() : QString());
}
