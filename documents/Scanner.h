#pragma once
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QWidget;

namespace documents {

class SaneWorker;

/// One scanner as SANE names it.
struct ScanSource {
    QString name;   ///< SANE device name, e.g. "genesys:libusb:001:004"
    QString vendor;
    QString model;
    QString type;
};

/// The source chosen in the source dialog, remembered while the program runs.
struct ScanSettings {
    QString device;
    QString mode;       ///< the backend's mode name ("Color", "Gray", "Lineart"); empty: as set
    int resolution = 0; ///< dots per inch; 0: as set
    friend bool operator==(const ScanSettings &, const ScanSettings &) = default;
};

/// What a source offers for the dialog: its colour modes and resolutions.
struct ScanSourceOptions {
    QStringList modes;
    QString currentMode;
    QList<int> resolutions;
    int currentResolution = 0;
};

/// The program's scanner library over SANE, with the four operations of the old TWAIN
/// library: choose a source, load, acquire one page, unload. Results follow that library:
/// above 0 means ready / delivered.
///
/// Every SANE call of one load..unload runs on one thread of its own (sane_cancel alone
/// comes from the window's thread), so the window keeps painting while a scanner warms up
/// or a page is read. Where the backend offers it, pages are read in non-blocking mode,
/// waiting on its select descriptor. The page is handed over in memory, never through the
/// clipboard.
class Scanner : public QObject {
    Q_OBJECT
public:
    explicit Scanner(QObject *parent = nullptr);
    ~Scanner() override; ///< unloads

    /// The source dialog (objectName "DlgScanSource"): the SANE devices by vendor, model
    /// and name, with colour mode and resolution. Shows "Nenhum scanner foi encontrado..."
    /// through the prompt when there is none. 1 when a source was chosen, 0 otherwise.
    /// Loads SANE for the dialog itself when it is not loaded.
    int selectSource(QWidget *window);
    /// sane_init. Above 0 when SANE is ready.
    int load();
    /// Reads one page from the chosen source (the first one found when none was chosen),
    /// showing the modal progress dialog "DlgScanProgress" with "Cancelar". Above 0 when
    /// a page was delivered (takeImage()); 0 when cancelled or failed (lastError()).
    int acquire(QWidget *window);
    /// sane_exit. Harmless when not loaded.
    void unload();
    bool isLoaded() const;

    /// The page of the last successful acquire, as RGB32; null afterwards.
    QImage takeImage();
    /// Why the last operation failed ("" after a success or a cancel).
    QString lastError() const;
    bool lastWasCancelled() const;

    /// The remembered choice; nullopt until one was made.
    std::optional<ScanSettings> settings() const;
    /// Remembers a choice as the dialog does (for callers that know the device).
    void setSettings(const ScanSettings &settings);

    /// The devices SANE finds now (loads SANE for the call when needed).
    QList<ScanSource> sources();
    /// Opens a device to read its modes and resolutions. Throws std::runtime_error.
    ScanSourceOptions sourceOptions(const QString &device);

private:
    template <typename F>
    auto onSaneThread(F &&f);
    QImage runScan(QWidget *window, const ScanSettings &settings);

    std::unique_ptr<SaneWorker> m_worker; // present while loaded
    std::optional<ScanSettings> m_settings;
    QImage m_image;
    QString m_lastError;
    bool m_cancelled = false;
};

} // namespace documents
