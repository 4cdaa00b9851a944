#pragma once
#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <optional>

namespace cartulo {

/// The optional picture library: a Qt binary resource file looked up relative to the
/// working directory.
QString pictureLibraryPath(); ///< "img/ctlo.rcc"

/// Reads the named pictures from a library file. The file is registered only for the
/// reads and released before returning; the images are independent copies.
/// nullopt when the file cannot be loaded; names the library lacks are left out.
std::optional<QHash<QString, QImage>> readPictureLibrary(const QString &file, const QStringList &names);

} // namespace cartulo
