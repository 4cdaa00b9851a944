#include "pdf/XmpPacket.h"

using namespace Qt::StringLiterals;

namespace pdf {

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString languageAlternative(const QString &element, const QString &text)
{
    return u"   <%1><rdf:Alt><rdf:li xml:lang=\"x-default\">%2</rdf:li></rdf:Alt></%1>\n"_s.arg(element, escaped(text));
}

QString simple(const QString &element, const QString &text)
{
    return u"   <%1>%2</%1>\n"_s.arg(element, escaped(text));
}

} // namespace

QString metadataText(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r';
        if (!control && u != 0xFFFE && u != 0xFFFF)
            kept.append(c);
    }
    return kept;
}

QByteArray xmpPacket(const XmpFields &fields)
{
    QString body;
    body += simple(u"pdfaid:part"_s, u"2"_s);
    body += simple(u"pdfaid:conformance"_s, u"B"_s);
    body += simple(u"dc:format"_s, u"application/pdf"_s);
    if (!fields.title.isEmpty())
        body += languageAlternative(u"dc:title"_s, fields.title);
    if (!fields.subject.isEmpty())
        body += languageAlternative(u"dc:description"_s, fields.subject);
    if (!fields.keywords.isEmpty())
        body += simple(u"pdf:Keywords"_s, fields.keywords);
    body += simple(u"pdf:Producer"_s, fields.producer);
    body += simple(u"xmp:CreatorTool"_s, fields.creatorTool);
    body += simple(u"xmp:CreateDate"_s, fields.date);
    body += simple(u"xmp:ModifyDate"_s, fields.date);
    body += simple(u"xmp:MetadataDate"_s, fields.date);

    const QString packet = u"<?xpacket begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                           u"<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                           u" <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                           u"  <rdf:Description rdf:about=\"\"\n"
                           u"    xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\"\n"
                           u"    xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
                           u"    xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\"\n"
                           u"    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n"_s
                         + body
                         + u"  </rdf:Description>\n"
                           u" </rdf:RDF>\n"
                           u"</x:xmpmeta>\n"
                           u"<?xpacket end=\"w\"?>"_s;
    return packet.toUtf8();
}

} // namespace pdf
