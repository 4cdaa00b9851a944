// The invisible words over exported pages: a PDF reader finds them where they lie on the
// page as it is seen, whatever turn the picture records, and the file stays sound.
#include "pdf/PdfExport.h"
#include "tests/pdf/PdfFixtures.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pdftest;

namespace {

// 72 dpi: a pixel of the picture is a point of the page.
constexpr int kDpi = 72;

struct FoundWord {
    QString text;
    QRectF box;
};

// The words pdftotext finds on one page, with their boxes (points, page as displayed).
QList<FoundWord> wordsOnPage(const QString &pdfPath, int page)
{
    const ToolRun run = runTool(u"pdftotext"_s, {u"-f"_s, QString::number(page), u"-l"_s, QString::number(page),
                                                u"-bbox"_s, pdfPath, u"-"_s});
    QList<FoundWord> words;
    static const QRegularExpression word(
        uR"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"_s);
    for (auto it = word.globalMatch(QString::fromUtf8(run.out)); it.hasNext();) {
        const auto m = it.next();
        words.append({m.captured(5), QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                            QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    }
    return words;
}

} // namespace

class TestPdfTextLayer : public QObject {
    Q_OBJECT

private slots:
    void wordsLieWhereTheyAreSeen_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::newRow("upright") << 1;
        QTest::newRow("mirrored") << 2;
        QTest::newRow("half turn") << 3;
        QTest::newRow("quarter right") << 6;
        QTest::newRow("quarter left") << 8;
    }
    void wordsLieWhereTheyAreSeen()
    {
        QFETCH(int, orientation);
        QTemporaryDir dir;
        const QSize stored(400, 600);
        const QByteArray picture = withExif(greyJpeg(stored, kDpi), {orientation, std::nullopt});
        const bool sideways = orientation >= 5;
        const QSize seen = sideways ? stored.transposed() : stored;

        pdf::ExportPage plain{pdf::PageSource::reader(u"1"_s, [picture] { return picture; }), {}, {}};
        pdf::ExportPage read{pdf::PageSource::reader(u"2"_s, [picture] { return picture; }), {}, seen};
        const QRect licitacao(40, 60, 180, 30);
        const QRect contrato(40, 200, 160, 30);
        read.words = {{u"Licitação"_s, licitacao}, {u"(Contrato)"_s, contrato}};
        const QString target = dir.filePath(u"texto.pdf"_s);
        QCOMPARE(pdf::exportPdf(target, {u"T"_s, {}, {}}, {{QString(), {plain, read}}}), pdf::ExportOutcome::Written);

        const ToolRun check = runTool(u"qpdf"_s, {u"--check"_s, target});
        QVERIFY2(check.exitCode == 0, QByteArray(check.out + check.err).constData());
        QVERIFY(wordsOnPage(target, 1).isEmpty());
        const QList<FoundWord> words = wordsOnPage(target, 2);
        QCOMPARE(words.size(), 2);
        QCOMPARE(words[0].text, u"Licitação"_s);
        QCOMPARE(words[1].text, u"(Contrato)"_s);
        for (const auto &[found, drawn] : {std::pair{words[0].box, QRectF(licitacao)}, std::pair{words[1].box, QRectF(contrato)}}) {
            QVERIFY2(qAbs(found.left() - drawn.left()) < 3 && qAbs(found.right() - drawn.right() - 1) < 4,
                     qPrintable(u"%1,%2 %3x%4"_s.arg(found.left()).arg(found.top()).arg(found.width()).arg(found.height())));
            // Readers add their own allowance for descenders below the box.
            QVERIFY2(qAbs(found.top() - drawn.top()) < 4 && found.height() > drawn.height() * 0.8
                         && found.height() < drawn.height() * 1.5,
                     qPrintable(u"%1,%2 %3x%4"_s.arg(found.left()).arg(found.top()).arg(found.width()).arg(found.height())));
        }
    }
};

QTEST_MAIN(TestPdfTextLayer)
#include "tst_pdftextlayer.moc"
