#pragma once
// One archive per engine for a whole test binary (making one per case would make the run
// slow), and its page store emptied for each case.
#include "pages/PageStore.h"
#include "tests/support/ProviderArchive.h"

#include <QDir>
#include <map>
#include <memory>

namespace testsupport {

class ProviderStores {
public:
    ProviderArchive &archive(db::Provider provider)
    {
        auto &slot = m_archives[provider];
        if (!slot)
            slot = std::make_unique<ProviderArchive>(provider);
        return *slot;
    }

    QString pageFolder(db::Provider provider) { return archive(provider).programDir() + QStringLiteral("/dados/laudas/"); }

    /// The archive emptied of rows and pages, and a page store on it.
    std::shared_ptr<pages::PageStore> freshStore(db::Provider provider)
    {
        ProviderArchive &a = archive(provider);
        a.clear();
        QDir(pageFolder(provider)).removeRecursively();
        QDir(a.programDir()).mkpath(QStringLiteral("dados/laudas"));
        return pages::openPageStore(a.programDir(), &a.connection());
    }

private:
    std::map<db::Provider, std::unique_ptr<ProviderArchive>> m_archives;
};

} // namespace testsupport
