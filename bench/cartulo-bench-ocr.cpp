// cartulo-bench-ocr: text recognition throughput and word accuracy on 300-dpi A4 pages of
// typed Portuguese text drawn here, beside the `tesseract` command on the same pages (same
// language, page segmentation and resolution, one thread: OMP_THREAD_LIMIT=1).
//   cartulo-bench-ocr [--pages N]
#include "bench/Harness.h"
#include "editing/JpegImage.h"
#include "ocr/Recognizer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr int kDpi = 300;
const QSize kA4(2480, 3508);

// Words of official letters, accented ones among them.
const QStringList kVocabulary = {
    u"processo"_s, u"licitação"_s, u"contrato"_s, u"número"_s, u"prefeitura"_s, u"município"_s, u"decisão"_s,
    u"petição"_s, u"órgão"_s, u"público"_s, u"serviço"_s, u"prestação"_s, u"pagamento"_s, u"despacho"_s,
    u"ofício"_s, u"secretaria"_s, u"administração"_s, u"parecer"_s, u"jurídico"_s, u"análise"_s, u"documento"_s,
    u"anexo"_s, u"fiscal"_s, u"exercício"_s, u"orçamento"_s, u"previsão"_s, u"emissão"_s, u"certidão"_s,
    u"solicitação"_s, u"informação"_s, u"para"_s, u"com"_s, u"pela"_s, u"conforme"_s, u"também"_s, u"até"_s,
    u"após"_s, u"relatório"_s, u"comissão"_s, u"diretor"_s, u"assinatura"_s, u"conceição"_s, u"araújo"_s,
    u"joão"_s, u"período"_s, u"índice"_s, u"cálculo"_s, u"mês"_s, u"três"_s, u"aprovação"_s,
};

struct DrawnPage {
    QByteArray jpeg;
    QStringList words;
};

// About 450 words in 11-point serif type, as a typed letter.
DrawnPage drawPage(int seed)
{
    QImage image(kA4, QImage::Format_Grayscale8);
    image.fill(255);
    image.setDotsPerMeterX(qRound(kDpi / 0.0254));
    image.setDotsPerMeterY(qRound(kDpi / 0.0254));
    QPainter painter(&image);
    QFont font(u"DejaVu Serif"_s);
    font.setPixelSize(46); // 11 pt at 300 dpi
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetrics metrics(font);
    DrawnPage page;
    quint32 state = 2654435761u * quint32(seed + 1);
    const int margin = 250, lineHeight = 72;
    for (int y = margin; y < kA4.height() - margin && page.words.size() < 460; y += lineHeight) {
        QString line;
        for (;;) {
            state = state * 1664525u + 1013904223u;
            const QString word = kVocabulary[int((state >> 8) % quint32(kVocabulary.size()))];
            const QString longer = line.isEmpty() ? word : line + u' ' + word;
            if (metrics.horizontalAdvance(longer) > kA4.width() - 2 * margin)
                break;
            line = longer;
            page.words << word;
        }
        painter.drawText(margin, y, line);
    }
    painter.end();
    page.jpeg = editing::jpeg::encode(image.convertToFormat(QImage::Format_RGB32));
    return page;
}

// Printed words found in the text read, each counted at most as often as it was read.
int wordsFound(const QStringList &printed, const QString &read)
{
    QHash<QString, int> available;
    for (const QString &word : read.split(QRegularExpression(u"[^\\w]+"_s, QRegularExpression::UseUnicodePropertiesOption), Qt::SkipEmptyParts))
        ++available[word];
    int found = 0;
    for (const QString &word : printed) {
        if (available.value(word) > 0) {
            --available[word];
            ++found;
        }
    }
    return found;
}

double perMinute(int pages, double ms)
{
    return ms > 0 ? pages * 60000.0 / ms : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv); // fonts for drawing the pages
    int pageCount = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--pages"_s && i + 1 < args.size()) {
            pageCount = std::max(1, args[++i].toInt());
        } else {
            std::fprintf(stderr, "usage: cartulo-bench-ocr [--pages N]\n");
            return 2;
        }
    }
    QTemporaryDir scratch;
    std::vector<DrawnPage> pages;
    int printed = 0;
    for (int i = 0; i < pageCount; ++i) {
        pages.push_back(drawPage(i));
        printed += int(pages.back().words.size());
        QFile file(scratch.filePath(u"pagina%1.jpg"_s.arg(i)));
        if (!file.open(QIODevice::WriteOnly) || file.write(pages.back().jpeg) != pages.back().jpeg.size())
            return 1;
    }
    const QString load = bench::loadAverage();

    // Page by page, the program and then the command on the same page: a drift of the
    // machine's speed (other work, heat) falls on both alike.
    const QString tesseract = QStandardPaths::findExecutable(u"tesseract"_s);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"OMP_THREAD_LIMIT"_s, u"1"_s);
    double programMs = 0, commandMs = 0;
    int programFound = 0, commandFound = 0;
    QString failure;
    // The program's way: its own thread, as the background worker reads.
    std::thread reader([&] {
        try {
            ocr::Recognizer recognizer;
            for (int i = 0; i < pageCount; ++i) {
                const DrawnPage &page = pages[size_t(i)];
                const bench::Stopwatch programClock;
                const ocr::Recognition read = recognizer.read(editing::jpeg::decode(page.jpeg), ocr::jpegDpi(page.jpeg));
                programMs += programClock.elapsedMs();
                programFound += wordsFound(page.words, read.text);
                if (tesseract.isEmpty())
                    continue;
                QProcess command;
                command.setProcessEnvironment(environment);
                const bench::Stopwatch commandClock;
                command.start(tesseract, {scratch.filePath(u"pagina%1.jpg"_s.arg(i)), u"stdout"_s, u"-l"_s, u"por"_s,
                                          u"--psm"_s, u"3"_s, u"--dpi"_s, QString::number(kDpi)});
                command.waitForFinished(-1);
                commandMs += commandClock.elapsedMs();
                commandFound += wordsFound(page.words, QString::fromUtf8(command.readAllStandardOutput()));
            }
        } catch (const std::exception &error) {
            failure = QString::fromLocal8Bit(error.what());
        }
    });
    reader.join();
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "recognition failed: %s\n", qPrintable(failure));
        return 1;
    }

    std::printf("Cartulo recognition benchmark: %d A4 pages at 300 dpi, %d printed words, %d cores, load average %s\n",
                pageCount, printed, QThread::idealThreadCount(), qPrintable(load));
    std::printf("%-34s %10s %10s %12s\n", "", "s/page", "pages/min", "words found");
    std::printf("%-34s %10.2f %10.1f %11.2f%%\n", "Cartulo (API, its own thread)", programMs / 1000 / pageCount,
                perMinute(pageCount, programMs), 100.0 * programFound / printed);
    if (tesseract.isEmpty()) {
        std::printf("%-34s not installed (package tesseract-ocr)\n", "tesseract command");
        return 0;
    }
    std::printf("%-34s %10.2f %10.1f %11.2f%%\n", "tesseract, OMP_THREAD_LIMIT=1", commandMs / 1000 / pageCount,
                perMinute(pageCount, commandMs), 100.0 * commandFound / printed);
    const double ratio = commandMs > 0 ? commandMs / programMs : 0;
    std::printf("throughput %.2fx of the command (must be at least 1x: %s); accuracy %s 98%%\n", ratio,
                ratio >= 1.0 ? "met" : "NOT met", 100.0 * programFound / printed >= 98.0 ? "meets" : "does NOT meet");
    return 0;
}
