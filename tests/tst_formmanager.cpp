#include "app/formmanager.h"
#include "config/configstore.h"
#include "config/translations.h"
#include "views/fileform.h"
#include "views/ioform.h"
#include "views/parform.h"
#include "views/posform.h"
#include "views/prgform.h"
#include "views/setform.h"

#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
class ShowCounter : public QObject
{
public:
    int shows = 0;
    int hides = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            ++shows;
        else if (event->type() == QEvent::Hide)
            ++hides;
        return QObject::eventFilter(watched, event);
    }
};

const char *const ButtonNames[] = {"radioButton_POS",  "radioButton_IO",  "radioButton_PRG",
                                   "radioButton_FILE", "radioButton_PAR", "radioButton_SET"};
} // namespace

class TestFormManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void startsOnPositionPage();
    void buttonTexts_data();
    void buttonTexts();
    void buttonsSwitchPages();
    void repeatedClickShowsOnce();
    void noRebuildAfterDestruction();

private:
    // The manager is a singleton the tests own; each test builds a fresh one.
    std::unique_ptr<FormManager> build();

    QTemporaryDir m_dir;
};

void TestFormManager::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path())); // Configure.xml, if any, lands here
    ConfigStore::instance()->resetToDefaults();
}

void TestFormManager::cleanup()
{
    ConfigStore::instance()->setLanguage(0);
    Translations::install(0);
}

std::unique_ptr<FormManager> TestFormManager::build()
{
    FormManager::resetInstanceForTesting();
    return std::unique_ptr<FormManager>(FormManager::instance());
}

void TestFormManager::startsOnPositionPage()
{
    auto manager = build();
    auto *stack = manager->findChild<QStackedWidget *>("stackedWidget");
    QVERIFY(stack);
    QCOMPARE(stack->count(), 6);
    QVERIFY(qobject_cast<PosForm *>(stack->widget(0)));
    QVERIFY(qobject_cast<IoForm *>(stack->widget(1)));
    QVERIFY(qobject_cast<PrgForm *>(stack->widget(2)));
    QVERIFY(qobject_cast<FileForm *>(stack->widget(3)));
    QVERIFY(qobject_cast<ParForm *>(stack->widget(4)));
    QVERIFY(qobject_cast<SetForm *>(stack->widget(5)));
    QCOMPARE(stack->currentIndex(), 0);
    QVERIFY(manager->findChild<QRadioButton *>("radioButton_POS")->isChecked());

    ShowCounter counter;
    stack->widget(0)->installEventFilter(&counter);
    manager->show();
    QVERIFY(QTest::qWaitForWindowExposed(manager.get()));
    QCOMPARE(counter.shows, 1);
    QVERIFY(stack->widget(0)->isVisible());
    for (int page = 1; page < 6; ++page)
        QVERIFY(!stack->widget(page)->isVisible());
}

void TestFormManager::buttonTexts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("chinese") << 0 << QStringList{QString::fromUtf8("  位置 \n  POS"),
                                                 QString::fromUtf8("输入输出 \n     IO"),
                                                 QString::fromUtf8("  程序\n  PRG"),
                                                 QString::fromUtf8("   数据\n输入输出"),
                                                 QString::fromUtf8("系统参数\n   PAR"),
                                                 QString::fromUtf8("  设置\n  SET")};
    QTest::newRow("english") << 1 << QStringList{"   POS", "   IO", "   PRG", "   FILE", "   PAR", "   SET"};
}

void TestFormManager::buttonTexts()
{
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    ConfigStore::instance()->setLanguage(language);
    QVERIFY(Translations::install(language));
    auto manager = build();
    for (int i = 0; i < 6; ++i) {
        auto *button = manager->findChild<QRadioButton *>(ButtonNames[i]);
        QVERIFY2(button, ButtonNames[i]);
        QCOMPARE(button->text(), texts.at(i));
        QVERIFY(button->isCheckable());
        QVERIFY(button->autoExclusive());
    }
}

void TestFormManager::buttonsSwitchPages()
{
    auto manager = build();
    manager->show();
    QVERIFY(QTest::qWaitForWindowExposed(manager.get()));
    auto *stack = manager->findChild<QStackedWidget *>("stackedWidget");
    // Out of order, and back to POS at the end.
    for (int page : {3, 1, 5, 2, 4, 0}) {
        auto *button = manager->findChild<QRadioButton *>(ButtonNames[page]);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(stack->currentIndex(), page);
        QVERIFY(button->isChecked());
        QVERIFY(stack->widget(page)->isVisible());
        for (int other = 0; other < 6; ++other) {
            if (other != page)
                QVERIFY(!manager->findChild<QRadioButton *>(ButtonNames[other])->isChecked());
        }
    }
}

void TestFormManager::repeatedClickShowsOnce()
{
    auto manager = build();
    manager->show();
    QVERIFY(QTest::qWaitForWindowExposed(manager.get()));
    auto *par = manager->findChild<ParForm *>();
    auto *pos = manager->findChild<PosForm *>();
    ShowCounter parCounter, posCounter;
    par->installEventFilter(&parCounter);
    pos->installEventFilter(&posCounter);

    auto *button = manager->findChild<QRadioButton *>("radioButton_PAR");
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(parCounter.shows, 1);
    QCOMPARE(parCounter.hides, 0);
    QCOMPARE(posCounter.hides, 1);
    QVERIFY(button->isChecked());
}

void TestFormManager::noRebuildAfterDestruction()
{
    FormManager *first = build().release();
    QCOMPARE(FormManager::instance(), first);
    delete first;
    QVERIFY(!FormManager::instance());
    std::unique_ptr<FormManager> second = build();
    QCOMPARE(second->findChild<QStackedWidget *>("stackedWidget")->count(), 6);
}

QTEST_MAIN(TestFormManager)
#include "tst_formmanager.moc"
