#include "ocr/Recognizer.h"

#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <QtEndian>

using namespace Qt::StringLiterals;

namespace ocr {

namespace {

constexpr int kDefaultDpi = 300;

void endApi(tesseract::TessBaseAPI *api)
{
    if (api) {
        api->End();
        delete api;
    }
}

// Tesseract hands out texts made with new[].
QString takeText(char *text)
{
    const QString result = QString::fromUtf8(text ? text : "");
    delete[] text;
    return result;
}

db::PageWords wordsOf(tesseract::TessBaseAPI &api, QSize imageSize)
{
    db::PageWords page;
    page.imageSize = imageSize;
    const std::unique_ptr<tesseract::ResultIterator> words(api.GetIterator());
    if (!words)
        return page;
    do {
        const QString text = takeText(words->GetUTF8Text(tesseract::RIL_WORD)).trimmed();
        int left = 0, top = 0, right = 0, bottom = 0;
        if (text.isEmpty() || !words->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom))
            continue;
        page.words.append({text, QRect(QPoint(left, top), QPoint(right - 1, bottom - 1))});
    } while (words->Next(tesseract::RIL_WORD));
    return page;
}

} // namespace

void limitThreadsOfThisThread()
{
    // Measured: OMP_THREAD_LIMIT is read at process start only, omp_set_num_threads does not
    // reach Tesseract's parallel loops (they ask for their own team size), and a dynamic team
    // still spins a second thread that, on a busy machine, made a page 4x slower. With no
    // active parallel level every loop runs on the calling thread.
    omp_set_max_active_levels(0);
}

Recognizer::Recognizer() : m_api(new tesseract::TessBaseAPI, endApi)
{
    limitThreadsOfThisThread();
    // nullptr: the data folder the library was built with, or TESSDATA_PREFIX.
    if (m_api->Init(nullptr, "por", tesseract::OEM_LSTM_ONLY) != 0)
        throw OcrError(u"Os dados de reconhecimento de texto em português não estão instalados "
                       u"(pacote tesseract-ocr-por)."_s);
    m_api->SetPageSegMode(tesseract::PSM_AUTO);
    m_api->SetVariable("debug_file", "/dev/null");
}

Recognizer::~Recognizer() = default;

Recognition Recognizer::read(const QImage &page, int dpi)
{
    if (page.isNull())
        throw OcrError(u"A página não tem imagem para reconhecer."_s);
    limitThreadsOfThisThread();
    const QImage gray = page.convertToFormat(QImage::Format_Grayscale8);
    m_api->SetImage(gray.constBits(), gray.width(), gray.height(), 1, int(gray.bytesPerLine()));
    m_api->SetSourceResolution(dpi > 0 ? dpi : kDefaultDpi);
    if (m_api->Recognize(nullptr) != 0) {
        m_api->Clear();
        throw OcrError(u"O reconhecimento de texto falhou nesta página."_s);
    }
    Recognition result;
    result.text = takeText(m_api->GetUTF8Text());
    result.words = wordsOf(*m_api, gray.size());
    m_api->Clear();
    return result;
}

int jpegDpi(const QByteArray &jpeg)
{
    // SOI, then an APP0 "JFIF" segment: units (1 dpi, 2 dots per cm), then X density.
    if (jpeg.size() < 18 || uchar(jpeg[0]) != 0xFF || uchar(jpeg[1]) != 0xD8 || uchar(jpeg[2]) != 0xFF
        || uchar(jpeg[3]) != 0xE0 || !jpeg.mid(6, 5).startsWith("JFIF\0"))
        return kDefaultDpi;
    const int units = uchar(jpeg[13]);
    const int density = qFromBigEndian<quint16>(jpeg.constData() + 14);
    const int dpi = units == 1 ? density : units == 2 ? int(density * 2.54 + 0.5) : 0;
    return dpi >= 70 && dpi <= 2400 ? dpi : kDefaultDpi;
}

} // namespace ocr
