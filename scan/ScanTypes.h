#pragma once
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <stdexcept>

// What the scanner front end shows the program, in Qt types only.
namespace scan {

/// One scanner as SANE names it.
struct ScanSource {
    QString name;   ///< SANE device name, e.g. "genesys:libusb:001:004"
    QString vendor;
    QString model;
    QString type;
};

/// Share of dark points under which a page counts as blank (backs of single-sided
/// sheets): 0.005 % is about a 2 mm dot on an A4 page, more than dust and less than a
/// short word or a page number with its stamp.
inline constexpr double kDefaultBlankInkPercent = 0.005;

/// How a device is to scan: set on the device in this order (source and mode first, as a
/// mode may change what resolutions there are).
struct ScanSettings {
    ScanSettings() = default;
    ScanSettings(QString device, QString mode, int resolution, QString source = {})
        : device(std::move(device)), mode(std::move(mode)), resolution(resolution), source(std::move(source)) {}

    QString device;
    QString mode;       ///< the backend's mode name ("Color", "Gray", "Lineart"); empty: as set
    int resolution = 0; ///< dots per inch; 0: as set
    QString source;     ///< the backend's source name ("Flatbed", "ADF Duplex"); empty: as set
    bool skipBlankPages = false;
    double blankInkPercent = kDefaultBlankInkPercent;
    friend bool operator==(const ScanSettings &, const ScanSettings &) = default;
};

/// What a device offers: its sources, its modes and the resolutions of each mode.
struct DeviceOptions {
    QStringList sources; ///< empty: the device has no choice of source
    QString currentSource;
    QStringList modes;
    QString currentMode;
    QMap<QString, QList<int>> resolutionsByMode; ///< key "" when there is no mode option
    int currentResolution = 0;

    /// The resolutions offered in `mode` (those of the device as it is when unknown).
    QList<int> resolutionsFor(const QString &mode) const;
};

/// True for a source that feeds sheets by itself, as backends name them ("ADF",
/// "Automatic Document Feeder", "ADF Duplex", "Document Feeder"...): it scans until it is
/// empty. A flatbed or a transparency unit gives one page per start.
bool isFeederSource(const QString &source);
/// True for a feeder that reads both sides of every sheet.
bool isDuplexSource(const QString &source);

/// A scan that ended without its page. message() is for the user, in Portuguese.
class ScanError : public std::runtime_error {
public:
    enum class Kind {
        Device,     ///< the device could not be opened or refused to start
        Read,       ///< reading failed (jam, cover open, device gone...)
        Malformed,  ///< the device sent data no picture can be made of
        NoMemory,
    };
    ScanError(Kind kind, const QString &message)
        : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message) {}
    Kind kind() const noexcept { return m_kind; }
    const QString &message() const noexcept { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};

} // namespace scan
