#pragma once
#include "scan/ScanTypes.h"

#include <optional>

namespace scan {

/// The choice made for each device, kept between uses of the program (QSettings,
/// organisation "Cartulo", file "scanner"), and the device used last.
class ScanMemory {
public:
    std::optional<QString> lastDevice() const;
    /// What was chosen for `device` the last time; nullopt when it was never used.
    std::optional<ScanSettings> settingsOf(const QString &device) const;
    /// Keeps `settings` for its device and makes it the device used last.
    void remember(const ScanSettings &settings);
    /// Forgets every device.
    void clear();
};

} // namespace scan
