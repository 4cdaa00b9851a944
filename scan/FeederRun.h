#pragma once
#include "scan/ScanTypes.h"

#include <QImage>
#include <QString>

#include <functional>

namespace scan {

class SaneSession;
class ScanControl;

/// How a feeder run ended.
struct FeederRunEnd {
    enum class Kind {
        FeederEmpty, ///< every sheet was read (or there was none at the start)
        Stopped,     ///< ScanControl::stopAfterPage, or the receiver asked to stop
        Cancelled,   ///< ScanControl::cancelNow: the page under way was dropped
        Full,        ///< `room` pages were delivered; the rest stays in the feeder
        Failed,      ///< the device failed; `error` says how
    };
    Kind kind = Kind::FeederEmpty;
    QString error;
    int delivered = 0;
    int skippedBlank = 0;
};

/// Reads page after page from the session's feeder, in the order the device gives them
/// (front and back of each sheet from a duplex feeder), until it is empty, `room` pages
/// were delivered, a stop is asked or the device fails. Blank pages are left out when the
/// settings say so. Each kept page goes to `deliver` as soon as it is whole; `deliver`
/// returns false to end the run. The scan is ended once, at the end (some feeders count
/// their sheets again after sane_cancel). Runs on the SANE thread.
FeederRunEnd runFeeder(SaneSession &session, ScanControl &control, const ScanSettings &settings, int room,
                       const std::function<bool(QImage)> &deliver);

} // namespace scan
