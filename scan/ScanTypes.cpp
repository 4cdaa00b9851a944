#include "scan/ScanTypes.h"

using namespace Qt::StringLiterals;

namespace scan {

QList<int> DeviceOptions::resolutionsFor(const QString &mode) const
{
    if (const auto found = resolutionsByMode.constFind(mode); found != resolutionsByMode.constEnd())
        return *found;
    return resolutionsByMode.value(currentMode);
}

bool isFeederSource(const QString &source)
{
    const QString name = source.toLower();
    return name.contains(u"adf"_s) || name.contains(u"feeder"_s) || name.contains(u"duplex"_s)
        || name.contains(u"alimentador"_s);
}

bool isDuplexSource(const QString &source)
{
    return source.contains(u"duplex"_s, Qt::CaseInsensitive);
}

} // namespace scan
