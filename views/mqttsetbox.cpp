#include "views/mqttsetbox.h"

#include "config/configstore.h"
#include "mqtt/mqttformat.h"
#include "mqtt/mqttservice.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace {

QLineEdit *lineEdit(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

} // namespace

MqttSetBox::MqttSetBox(QWidget *parent)
    : QGroupBox(tr("MQTT 发布"), parent), m_enabled(new QCheckBox(tr("发布到 MQTT 代理"), this)),
      m_host(lineEdit("lineEdit_mqttHost", this)), m_port(new QSpinBox(this)),
      m_prefix(lineEdit("lineEdit_mqttPrefix", this)), m_user(lineEdit("lineEdit_mqttUser", this)),
      m_password(lineEdit("lineEdit_mqttPassword", this)), m_caFile(lineEdit("lineEdit_mqttCaFile", this)),
      m_status(new QLabel(this)), m_passwordPlace(new QLabel(this))
{
    setObjectName(QStringLiteral("groupBox_mqtt"));
    m_enabled->setObjectName(QStringLiteral("checkBox_mqttEnabled"));
    m_port->setObjectName(QStringLiteral("spinBox_mqttPort"));
    m_port->setRange(1, 65535);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(tr("不变"));
    m_caFile->setPlaceholderText(tr("可选，设置后使用 TLS"));
    m_status->setObjectName(QStringLiteral("label_mqttStatus"));
    m_passwordPlace->setObjectName(QStringLiteral("label_mqttPassword"));
    for (QLabel *label : {m_status, m_passwordPlace})
        label->setWordWrap(true);

    auto *grid = new QGridLayout(this);
    grid->addWidget(m_enabled, 0, 0, 1, 4);
    const struct
    {
        QString label;
        QWidget *field;
        int row;
        int column;
    } fields[] = {
        {tr("代理地址"), m_host, 1, 0},  {tr("端口"), m_port, 1, 2},   {tr("主题前缀"), m_prefix, 2, 0},
        {tr("CA 文件"), m_caFile, 2, 2}, {tr("用户名"), m_user, 3, 0}, {tr("密码"), m_password, 3, 2},
    };
    for (const auto &f : fields) {
        grid->addWidget(new QLabel(f.label, this), f.row, f.column);
        grid->addWidget(f.field, f.row, f.column + 1);
    }
    grid->addWidget(m_status, 4, 0, 1, 4);
    grid->addWidget(m_passwordPlace, 5, 0, 1, 4);
}

void MqttSetBox::load()
{
    const MqttSettings settings = ConfigStore::instance()->mqttSettings();
    m_enabled->setChecked(settings.Enabled);
    m_host->setText(settings.Host);
    m_port->setValue(settings.Port);
    m_prefix->setText(settings.Prefix);
    m_user->setText(settings.User);
    m_caFile->setText(settings.CaFile);
    m_password->clear();
    m_refusal.clear();
    if (MqttService *service = MqttService::current())
        connect(service, &MqttService::statusChanged, this, &MqttSetBox::showStatus, Qt::UniqueConnection);
    showStatus();
}

void MqttSetBox::store()
{
    ConfigStore *config = ConfigStore::instance();
    // Only what the box edits is replaced; the password file is set in the file.
    MqttSettings settings = config->mqttSettings();
    settings.Enabled = m_enabled->isChecked();
    settings.Host = m_host->text().trimmed();
    settings.Port = m_port->value();
    settings.Prefix = m_prefix->text().trimmed();
    settings.User = m_user->text();
    settings.CaFile = m_caFile->text().trimmed();
    if (!MqttFormat::isUsablePrefix(settings.Prefix) || settings.Host.isEmpty()) {
        m_refusal = tr("代理地址不能为空；主题前缀不能为空，不能含 + 或 #，不能以 $ 开头。MQTT 设置未保存");
        showStatus();
        return;
    }
    m_refusal.clear();
    config->setMqttSettings(settings);
    const QByteArray typed = m_password->text().toUtf8();
    m_password->clear();
    if (MqttService *service = MqttService::current())
        service->apply(settings, typed.isEmpty() ? nullptr : &typed);
    showStatus();
}

void MqttSetBox::showStatus()
{
    const MqttService *service = MqttService::current();
    m_status->setText(!m_refusal.isEmpty() ? m_refusal : service ? service->statusText() : QString());
    m_passwordPlace->setText(service ? service->passwordText() : QString());
}
