// Qt's own dialogs in Brazilian Portuguese whatever the locale: the translation loaded as
// the program loads it, and the file choosers of the prompt are Qt's own dialogs (a
// desktop's native one would follow the system's language).
#include "app/QtTranslations.h"
#include "editing/Prompt.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QStringList buttonTexts(const QWidget &dialog)
{
    QStringList texts;
    for (const QPushButton *button : dialog.findChildren<QPushButton *>())
        texts << button->text();
    return texts;
}

} // namespace

class TestQtTranslations : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void fileDialogSpeaksPortuguese_data();
    void fileDialogSpeaksPortuguese();
    void progressDialogCancelsInPortuguese();
    void promptFileChoosersAreQtsOwnDialogs_data();
    void promptFileChoosersAreQtsOwnDialogs();
};

void TestQtTranslations::initTestCase()
{
    // A session in English: the program's dialogs must not follow it.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY2(startup::installQtTranslations(*qApp), "qtbase_pt_BR.qm is missing from Qt's translations folder");
}

void TestQtTranslations::fileDialogSpeaksPortuguese_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("acceptText");
    QTest::newRow("open") << int(QFileDialog::AcceptOpen) << u"&Abrir"_s;
    QTest::newRow("save") << int(QFileDialog::AcceptSave) << u"&Salvar"_s;
}

void TestQtTranslations::fileDialogSpeaksPortuguese()
{
    QFETCH(int, mode);
    QFETCH(QString, acceptText);
    QFileDialog dialog(nullptr, u"Adicionar páginas"_s);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptMode(mode));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QStringList buttons = buttonTexts(dialog);
    QVERIFY2(buttons.contains(u"Cancelar"_s), qPrintable(buttons.join(u", "_s)));
    QVERIFY2(buttons.contains(acceptText), qPrintable(buttons.join(u", "_s)));
    const auto *lookIn = dialog.findChild<QLabel *>(u"lookInLabel"_s);
    QVERIFY(lookIn);
    QCOMPARE(lookIn->text(), u"Procurar em:"_s);
    const auto *fileType = dialog.findChild<QLabel *>(u"fileTypeLabel"_s);
    QVERIFY(fileType);
    QVERIFY2(fileType->text().startsWith(u"Arquivos"_s) || fileType->text().contains(u"tipo"_s), qPrintable(fileType->text()));
    dialog.reject();
}

void TestQtTranslations::progressDialogCancelsInPortuguese()
{
    QProgressDialog progress;
    progress.setLabelText(u"Incluindo páginas"_s);
    progress.show();
    QVERIFY(QTest::qWaitForWindowExposed(&progress));
    QCOMPARE(buttonTexts(progress), QStringList{u"Cancelar"_s});
}

void TestQtTranslations::promptFileChoosersAreQtsOwnDialogs_data()
{
    QTest::addColumn<bool>("save");
    QTest::newRow("open") << false;
    QTest::newRow("save") << true;
}

void TestQtTranslations::promptFileChoosersAreQtsOwnDialogs()
{
    QFETCH(bool, save);
    bool nonNative = false;
    QStringList buttons;
    // The chooser is modal: look at it from the event loop it runs, then cancel it.
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, &probe, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        probe.stop();
        nonNative = dialog->testOption(QFileDialog::DontUseNativeDialog);
        buttons = buttonTexts(*dialog);
        dialog->reject();
    });
    probe.start();
    editing::MessageBoxPrompt prompt;
    const std::optional<QString> chosen = save ? prompt.saveFileName(u"Salvar PDF"_s, u"PDF (*.pdf)"_s)
                                               : prompt.openFileName(u"Abrir imagem"_s, u"JPEG (*.jpg)"_s);
    QVERIFY(!chosen);
    QVERIFY(nonNative);
    QVERIFY2(buttons.contains(u"Cancelar"_s), qPrintable(buttons.join(u", "_s)));
}

QTEST_MAIN(TestQtTranslations)
#include "tst_qttranslations.moc"
