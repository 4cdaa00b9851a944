#include "app/PictureLibrary.h"

#include <QImageReader>
#include <QResource>

using namespace Qt::StringLiterals;

namespace cartulo {
namespace {

QString mapRoot()
{
    return u"/ctlo"_s;
}

class ResourceRegistration {
public:
    explicit ResourceRegistration(const QString &file)
        : m_file(file), m_registered(QResource::registerResource(file, mapRoot()))
    {
    }
    ~ResourceRegistration()
    {
        if (m_registered)
            QResource::unregisterResource(m_file, mapRoot());
    }
    ResourceRegistration(const ResourceRegistration &) = delete;
    ResourceRegistration &operator=(const ResourceRegistration &) = delete;

    bool registered() const { return m_registered; }

private:
    QString m_file;
    bool m_registered;
};

} // namespace

QString pictureLibraryPath()
{
    return u"img/ctlo.rcc"_s;
}

std::optional<QHash<QString, QImage>> readPictureLibrary(const QString &file, const QStringList &names)
{
    const ResourceRegistration library(file);
    if (!library.registered())
        return std::nullopt;
    QHash<QString, QImage> pictures;
    for (const QString &name : names) {
        // The entries carry bare names; the reader recognises the format by content.
        QImageReader reader(u":"_s + mapRoot() + u'/' + name);
        QImage image = reader.read();
        if (!image.isNull())
            pictures.insert(name, image);
    }
    return pictures;
}

} // namespace cartulo
