#include "db/PageWords.h"

#include <QDataStream>
#include <QIODevice>

namespace db {

namespace {

constexpr quint32 kMagic = 0x43504731; // "CPG1"
constexpr int kMaxWords = 1'000'000;

} // namespace

QByteArray PageWords::encode() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << qint32(imageSize.width()) << qint32(imageSize.height()) << qint32(words.size());
    for (const PageWord &word : words)
        out << qint32(word.box.x()) << qint32(word.box.y()) << qint32(word.box.width()) << qint32(word.box.height())
            << word.text.toUtf8();
    return bytes;
}

std::optional<PageWords> PageWords::decode(const QByteArray &bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    qint32 width = 0, height = 0, count = 0;
    in >> magic >> width >> height >> count;
    if (in.status() != QDataStream::Ok || magic != kMagic || width <= 0 || height <= 0 || count < 0 || count > kMaxWords)
        return std::nullopt;
    PageWords page;
    page.imageSize = QSize(width, height);
    for (qint32 i = 0; i < count; ++i) {
        qint32 x = 0, y = 0, w = 0, h = 0;
        QByteArray text;
        in >> x >> y >> w >> h >> text;
        if (in.status() != QDataStream::Ok)
            return std::nullopt;
        page.words.append({QString::fromUtf8(text), QRect(x, y, w, h)});
    }
    return page;
}

} // namespace db
