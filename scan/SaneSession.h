#pragma once
#include "scan/ScanTypes.h"

#include <QImage>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>

namespace scan {

class ImageBuilder;

/// The devices SANE finds now. On the SANE thread.
QList<ScanSource> findDevices();

/// What the window's thread and the SANE thread share while a device reads: the progress
/// of the page under way and the two ways of stopping.
class ScanControl {
public:
    /// Ends the page being read now (sane_cancel, the one call allowed from another thread).
    void cancelNow();
    /// A feeder run ends once the page being read is whole.
    void stopAfterPage() { m_stopAfterPage = true; }
    bool isCancelled() const { return m_cancelled; }
    bool stopRequested() const { return m_stopAfterPage || m_cancelled; }

    std::atomic<qint64> bytesRead{0};
    std::atomic<qint64> bytesExpected{0}; ///< 0: unknown (a hand scanner)
    std::atomic<int> sheet{0};            ///< the page of a feeder run being read, from 1

private:
    friend class SaneSession;
    void attach(void *handle);
    void detach();

    std::mutex m_mutex;
    void *m_handle = nullptr; // set while a device is open; cancelled only under m_mutex
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_stopAfterPage{false};
};

/// One open SANE device: the handle (closed on destruction, its scan ended first), its
/// options found by their well-known names, and the reading of pages. Every call belongs
/// on the SANE thread (SaneThread).
class SaneSession {
public:
    /// Opens the device. Throws ScanError(Device) naming it when it cannot be opened.
    explicit SaneSession(const QString &device, ScanControl *control = nullptr);
    ~SaneSession();
    SaneSession(const SaneSession &) = delete;
    SaneSession &operator=(const SaneSession &) = delete;

    /// Sources, modes and the resolutions of every mode. Leaves the mode as it found it.
    DeviceOptions options();
    /// Source and mode first, resolution last (a mode may change the resolutions); a
    /// value the device refuses leaves its own in place.
    void apply(const ScanSettings &settings);

    enum class Outcome {
        Page,        ///< a whole page was read
        FeederEmpty, ///< the device had no sheet to start on
        Cancelled,   ///< ScanControl::cancelNow
    };
    struct Read {
        Outcome outcome = Outcome::Cancelled;
        QImage image; ///< Grayscale8 or RGB32, with Outcome::Page
    };
    /// Starts the next page and reads all its frames. The scan is not ended afterwards, so
    /// a feeder moves on to its next sheet at the next call; endScan() ends it. Throws
    /// ScanError when the device fails or sends what no page can be made of.
    Read readPage();
    /// Ends the scan (sane_cancel): after the last page, or to give up.
    void endScan();

private:
    int readFrame(ImageBuilder &builder); // a SANE_Status

    void *m_handle = nullptr;
    ScanControl *m_control = nullptr;
    ScanControl m_ownControl; // when none is given
    bool m_scanning = false;
};

} // namespace scan
