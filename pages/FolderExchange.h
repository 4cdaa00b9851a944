#pragma once
#include <QString>

namespace pages {

/// Swaps two page files of the page folder where the file system cannot swap two names in
/// one step (a network share): a journal names the pair, the first file is parked under a
/// name no page has, the second takes the first's name, the parked one the second's, and
/// the journal goes. A crash between any two steps leaves the journal behind, and
/// recover() then puts the parked file under whichever of the two names is free, so every
/// page ends under exactly one name. Run only while the folder is locked.
class FolderExchange {
public:
    /// Journal written, first parked, second renamed, parked renamed, journal removed.
    static constexpr int kSteps = 5;

    /// `folder` ends with a separator; the names are page file names within it.
    FolderExchange(QString folder, QString first, QString second);

    void run() const;
    /// One of the kSteps steps, in order from 0: what a crash interrupts.
    void runStep(int step) const;

    /// True when a journal shows an exchange that did not finish.
    static bool isPending(const QString &folder);
    /// Finishes or undoes an exchange a crash interrupted; nothing when none did. Throws
    /// PageError(Io) when the files cannot be put right (they are left as they are).
    static void recover(const QString &folder);

    /// The journal's and the parked file's names in the folder; no page has them.
    static QString journalName();
    static QString parkingName();

private:
    QString m_folder;
    QString m_first;
    QString m_second;
};

} // namespace pages
