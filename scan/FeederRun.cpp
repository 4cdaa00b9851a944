#include "scan/FeederRun.h"

#include "scan/BlankPage.h"
#include "scan/SaneSession.h"

namespace scan {

namespace {

FeederRunEnd::Kind stopKind(const ScanControl &control)
{
    return control.isCancelled() ? FeederRunEnd::Kind::Cancelled : FeederRunEnd::Kind::Stopped;
}

} // namespace

FeederRunEnd runFeeder(SaneSession &session, ScanControl &control, const ScanSettings &settings, int room,
                       const std::function<bool(QImage)> &deliver)
{
    FeederRunEnd end;
    try {
        for (int page = 1;; ++page) {
            if (end.delivered >= room) {
                end.kind = FeederRunEnd::Kind::Full;
                break;
            }
            if (control.stopRequested()) {
                end.kind = stopKind(control);
                break;
            }
            control.sheet = page;
            SaneSession::Read read = session.readPage();
            if (read.outcome == SaneSession::Outcome::FeederEmpty) {
                end.kind = FeederRunEnd::Kind::FeederEmpty;
                break;
            }
            if (read.outcome == SaneSession::Outcome::Cancelled) {
                end.kind = FeederRunEnd::Kind::Cancelled;
                break;
            }
            if (settings.skipBlankPages && isBlankPage(read.image, settings.blankInkPercent)) {
                ++end.skippedBlank;
                continue;
            }
            if (!deliver(std::move(read.image))) {
                end.kind = FeederRunEnd::Kind::Stopped;
                break;
            }
            ++end.delivered;
        }
    } catch (const ScanError &error) {
        end.kind = FeederRunEnd::Kind::Failed;
        end.error = error.message();
    }
    session.endScan();
    return end;
}

} // namespace scan
