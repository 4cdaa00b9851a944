#pragma once
#include "scan/ScanTypes.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace scan {
class SaneThread;
}

namespace documents {

using scan::ScanSettings;
using scan::ScanSource;
using ScanSourceOptions = scan::DeviceOptions;

/// A page of a feeder batch: the picture and its JPEG, encoded while the next page is read.
struct ScannedPage {
    QImage image;
    QByteArray jpeg; ///< quality 90, baseline, colour, as every stored page
};

/// How a feeder batch ended; `stored` pages were handed to the store in order.
struct FeederBatch {
    enum class End {
        FeederEmpty,  ///< every sheet was read
        EmptyAtStart, ///< no sheet in the feeder: nothing was read
        Cancelled,    ///< "Cancelar": the pages stored before stay
        Full,         ///< the document took all the pages it may hold
        Failed,       ///< the device (or storing a page) failed: `error`
    };
    End end = End::FeederEmpty;
    int stored = 0;
    int skippedBlank = 0;
    QString error;
};

/// The program's scanner library over SANE (scan/), with the four operations of the old
/// TWAIN library: choose a source, load, acquire one page, unload. Results follow that
/// library: above 0 means ready / delivered. A feeder source is read to its end by
/// acquireBatch().
///
/// Every SANE call of one load..unload runs on one thread of its own, so the window keeps
/// painting while a scanner warms up or a page is read. The page is handed over in
/// memory, never through the clipboard.
class Scanner : public QObject {
    Q_OBJECT
public:
    explicit Scanner(QObject *parent = nullptr);
    ~Scanner() override; ///< unloads

    /// The source dialog (objectName "DlgScanSource"): the SANE devices by vendor, model
    /// and name, with the device's sources ("Fonte"), colour modes and resolutions as it
    /// offers them, each device preset as it was chosen the last time (kept between uses).
    /// Shows "Nenhum scanner foi encontrado..." through the prompt when there is none.
    /// 1 when a source was chosen, 0 otherwise. Loads SANE for the dialog itself when it
    /// is not loaded.
    int selectSource(QWidget *window);
    /// sane_init. Above 0 when SANE is ready.
    int load();
    /// Reads one page from the chosen source (the first device found when none was
    /// chosen), showing the modal progress dialog "DlgScanProgress" with "Cancelar". Above
    /// 0 when a page was delivered (takeImage()); 0 when cancelled or failed (lastError()).
    int acquire(QWidget *window);
    /// Reads the chosen feeder sheet after sheet until it is empty, storing at most `room`
    /// pages, each through `store` (on the window's thread, as soon as it is whole and
    /// encoded, in the order the device gives them). The progress dialog names the page being read;
    /// "Cancelar" ends the batch once that page is stored (a second click drops it). A
    /// `store` that throws ends the batch with its message. Loads SANE when needed.
    FeederBatch acquireBatch(QWidget *window, int room, const std::function<void(const ScannedPage &)> &store);
    /// sane_exit. Harmless when not loaded.
    void unload();
    bool isLoaded() const;

    /// The page of the last successful acquire (Grayscale8 for a grey page, RGB32 for a
    /// colour one); null afterwards.
    QImage takeImage();
    /// Why the last operation failed ("" after a success or a cancel).
    QString lastError() const;
    bool lastWasCancelled() const;

    /// The choice made in this run; nullopt until one was made.
    std::optional<ScanSettings> settings() const;
    /// Remembers a choice as the dialog does (for callers that know the device).
    void setSettings(const ScanSettings &settings);
    /// True when the chosen source is a document feeder.
    bool feederChosen() const;

    /// The devices SANE finds now (loads SANE for the call when needed).
    QList<ScanSource> sources();
    /// Opens a device to read its sources, modes and resolutions. Throws
    /// std::runtime_error (scan::ScanError).
    ScanSourceOptions sourceOptions(const QString &device);

private:
    /// What acquire and acquireBatch read from: the choice, or the first device found.
    std::optional<ScanSettings> settingsToScan();
    std::optional<ScanSettings> rememberedFor(const QString &device) const;

    std::unique_ptr<scan::SaneThread> m_sane; // present while loaded
    std::optional<ScanSettings> m_settings;
    QImage m_image;
    QString m_lastError;
    bool m_cancelled = false;
};

} // namespace documents
