#include "scan/ScanMemory.h"

#include <QSettings>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace scan {

namespace {

QSettings store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, u"Cartulo"_s, u"scanner"_s);
}

// Device names hold ':' and '/', which QSettings would read as groups.
QString groupOf(const QString &device)
{
    return u"dispositivo/"_s + QString::fromLatin1(QUrl::toPercentEncoding(device));
}

} // namespace

std::optional<QString> ScanMemory::lastDevice() const
{
    const QString device = store().value(u"ultimo"_s).toString();
    if (device.isEmpty())
        return std::nullopt;
    return device;
}

std::optional<ScanSettings> ScanMemory::settingsOf(const QString &device) const
{
    QSettings settings = store();
    settings.beginGroup(groupOf(device));
    if (settings.childKeys().isEmpty())
        return std::nullopt;
    ScanSettings chosen;
    chosen.device = device;
    chosen.source = settings.value(u"fonte"_s).toString();
    chosen.mode = settings.value(u"modo"_s).toString();
    chosen.resolution = settings.value(u"resolucao"_s, 0).toInt();
    chosen.skipBlankPages = settings.value(u"pular_brancas"_s, false).toBool();
    bool ok = false;
    const double ink = settings.value(u"limite_branca"_s).toDouble(&ok);
    chosen.blankInkPercent = ok && ink > 0 ? ink : kDefaultBlankInkPercent;
    return chosen;
}

void ScanMemory::remember(const ScanSettings &chosen)
{
    QSettings settings = store();
    settings.setValue(u"ultimo"_s, chosen.device);
    settings.beginGroup(groupOf(chosen.device));
    settings.setValue(u"fonte"_s, chosen.source);
    settings.setValue(u"modo"_s, chosen.mode);
    settings.setValue(u"resolucao"_s, chosen.resolution);
    settings.setValue(u"pular_brancas"_s, chosen.skipBlankPages);
    settings.setValue(u"limite_branca"_s, chosen.blankInkPercent);
}

void ScanMemory::clear()
{
    store().clear();
}

} // namespace scan
