#pragma once
#include "pages/PageStore.h"

#include <QImage>
#include <QString>
#include <functional>

class QWidget;

namespace documents {

class Scanner;

/// "Adquirir" from a document feeder: every sheet becomes the next page of the document
/// as soon as it is read, through the page store. Afterwards one message says how the
/// batch ended when it did not simply empty the feeder (empty at the start, a jam, an
/// open cover, a failure, the 999-page limit), naming the last page stored; the declared
/// page count is warned of once for the whole batch.
class FeederScan {
public:
    /// The document the pages go to, as the screen shows it.
    struct Target {
        pages::DocumentKey key;
        int listedPages = 0;
        int announcedPages = 0; ///< "Laudas"; 0: none announced
    };
    /// Called on every stored page with its list name and picture.
    using PageStored = std::function<void(const QString &name, const QImage &page)>;

    FeederScan(Scanner &scanner, const pages::PageStore &store);

    /// Runs the batch from the source chosen in the scanner. Returns the pages stored.
    int run(QWidget *window, const Target &target, const PageStored &pageStored);

private:
    Scanner &m_scanner;
    const pages::PageStore &m_store;
};

} // namespace documents
