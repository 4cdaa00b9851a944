#pragma once
#include <QByteArray>
#include <QString>

namespace pdf {

/// The XMP description of a PDF/A-2b file: its conformance and the same title, subject,
/// keywords, tools and dates as its Info dictionary (empty texts are left out of both).
struct XmpFields {
    QString title;
    QString subject;
    QString keywords;
    QString producer;
    QString creatorTool;
    QString date; ///< ISO 8601 with its offset, both creation and modification
};

/// The metadata packet as UTF-8, ready to be the catalog's uncompressed /Metadata stream.
QByteArray xmpPacket(const XmpFields &fields);

/// Text fit for both the Info dictionary and XML: control characters (which XML cannot
/// carry) are dropped, tabs and line breaks kept.
QString metadataText(const QString &text);

} // namespace pdf
