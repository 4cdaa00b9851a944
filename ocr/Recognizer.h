#pragma once
#include "db/PageWords.h"

#include <QImage>
#include <QString>

#include <memory>
#include <stdexcept>

namespace tesseract {
class TessBaseAPI;
}

namespace ocr {

/// Recognition could not start or could not read a picture; message() is for the user.
class OcrError : public std::runtime_error {
public:
    explicit OcrError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

/// What was read on a page: its text (lines and paragraphs as laid out) and its words.
struct Recognition {
    QString text;
    db::PageWords words;
};

/// Reads Portuguese text on page pictures with Tesseract (LSTM, automatic page layout).
/// Use one per thread, on the thread that made it.
class Recognizer {
public:
    /// Throws OcrError when the Portuguese data is not installed.
    Recognizer();
    ~Recognizer();
    Recognizer(const Recognizer &) = delete;
    Recognizer &operator=(const Recognizer &) = delete;

    /// `dpi` is the picture's resolution (the JPEG's own, see jpegDpi). Throws OcrError.
    Recognition read(const QImage &page, int dpi);

private:
    std::unique_ptr<tesseract::TessBaseAPI, void (*)(tesseract::TessBaseAPI *)> m_api;
};

/// The resolution a JPEG states (JFIF density), or 300 when it states none believable.
int jpegDpi(const QByteArray &jpeg);

/// Keeps the recognising thread to one core's worth of work (Tesseract's OpenMP would start
/// a team per core and, with other work running, slow every page down several times).
void limitThreadsOfThisThread();

} // namespace ocr
