#include "views/fileform.h"

#include "config/configstore.h"
#include "config/filenames.h"
#include "devices/devicemanager.h"
#include "link/protocol.h"
#include "link/transfercodec.h"
#include "ui_fileform.h"
#include "views/dialogs.h"
#include "views/readstatusline.h"

#include <QDir>
#include <QPointer>

FileForm::FileForm(QWidget *parent) : QWidget(parent), ui(new Ui::FileForm)
{
    ui->setupUi(this);

    m_noFileText = ui->label_fileName->text();
    m_readStatus = new ReadStatusLine(this);
    ui->verticalLayout_2->addWidget(m_readStatus);

    connect(ui->comBox_fileName, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FileForm::onFileChosen);
    connect(ui->btn_readFile, &QPushButton::clicked, this, &FileForm::readFile);
    connect(ui->btn_downloadFile, &QPushButton::clicked, this, &FileForm::saveFile);
    connect(ui->btn_findFile, &QPushButton::clicked, this, &FileForm::findNext);
    connect(ui->lineEdit_findFile, &QLineEdit::returnPressed, this, &FileForm::findNext);
    if (DeviceManager *devices = DeviceManager::instance())
        connect(devices, &DeviceManager::selectedDeviceChanged, this, &FileForm::dropShownController);
    connect(ui->textEdit_file->document(), &QTextDocument::contentsChange, this,
            [this] { m_searchText.clear(); });
}

FileForm::~FileForm()
{
    delete ui;
}

// The last item takes a typed name. A name typed and confirmed with Enter is
// appended as the new last item, which from then on is the editable one.
void FileForm::onFileChosen(int index)
{
    ui->comBox_fileName->setEditable(index >= 0 && index == ui->comBox_fileName->count() - 1);
}

void FileForm::readFile()
{
    const QString name = ui->comBox_fileName->currentText();
    if (name.isEmpty())
        return;
    if (m_busy.later(DeviceManager::selectedModbusDevice(), this, [this, selection = m_selection] {
            if (selection == m_selection)
                readFile();
        }))
        return;
    // The device would refuse it as well, but only with the code of any failed open.
    if (TransferCodec::openFileCommand(Protocol::KindReadFile, name).isEmpty()) {
        m_readStatus->setFailure(tr("文件名过长，控制器无法接收"));
        return;
    }
    QByteArray bytes;
    QPointer<FileForm> self(this);
    const quint64 selection = m_selection;
    DeviceManager *devices = DeviceManager::instance();
    const int result = devices ? devices->readSystemFile(&bytes, name) : Result::NoDevice;
    if (!self || selection != m_selection)
        return; // the page went, or the text is of a controller no longer selected
    m_readStatus->setResult(result);
    if (result != Result::Ok)
        return; // the pane keeps what it showed
    m_file = TextCodec::decodeFromController(bytes);
    ui->label_fileName->setText(name);
    ui->textEdit_file->setPlainText(m_file.text);
    // The search's copy is made now, a small part of what putting a large
    // text in costs, so that the first search finds at once.
    m_searchText = ui->textEdit_file->document()->toPlainText();
}

void FileForm::dropShownController()
{
    ++m_selection;
    m_file = TextCodec::DecodedText();
    ui->textEdit_file->clear();
    ui->label_fileName->setText(m_noFileText);
    m_readStatus->reset();
}

void FileForm::saveFile()
{
    const QString name = ui->label_fileName->text();
    const QString text = ui->textEdit_file->toPlainText();
    QPointer<FileForm> self(this);
    const QString path = Dialogs::saveFileName(this, tr("数据存放地址"), FileNames::plain(name), QString());
    if (!self || path.isEmpty())
        return;
    if (ConfigStore::writeFileBytes(path, TextCodec::encode(m_file, text))) {
        Dialogs::information(this, tr("信息"), tr("文件:%1下载完成").arg(name));
        return;
    }
    // Nothing was written: any file already there is as it was.
    Dialogs::message(this, QMessageBox::Warning, tr("信息"),
                     tr("文件:%1下载失败(download failed)\n%2").arg(name, QDir::toNativeSeparators(path)),
                     {{tr("OK"), QMessageBox::AcceptRole}});
}

// Case-sensitive, forward from the cursor; the search stops at the last match.
// It searches a copy of the pane's text, made at the first search after a
// change: the document's own search builds every line's text anew at each
// press, a second or more for a miss in a file of several MB.
void FileForm::findNext()
{
    const QString needle = ui->lineEdit_findFile->text();
    QTextDocument *doc = ui->textEdit_file->document();
    if (needle.isEmpty() || doc->isEmpty())
        return;
    if (m_searchText.isNull())
        m_searchText = doc->toPlainText();
    // A match lies within one line, as the document's search finds them: the
    // search text comes from a one-line field.
    const int at = m_searchText.indexOf(needle, ui->textEdit_file->textCursor().selectionEnd());
    if (at < 0)
        return;
    QTextCursor match(doc);
    match.setPosition(at);
    match.setPosition(at + needle.size(), QTextCursor::KeepAnchor);
    ui->textEdit_file->setTextCursor(match);
}
