#include "documents/DocumentPrint.h"

#include <QLoggingCategory>

using namespace Qt::StringLiterals;

namespace documents {

namespace {
Q_LOGGING_CATEGORY(lcPrint, "cartulo.documents.print")
}

ReportPages documentReportPages(std::shared_ptr<const pages::PageStore> store, QStringList pageNames)
{
    const int count = int(pageNames.size());
    return {count, [store = std::move(store), names = std::move(pageNames)](int index, QSize box) {
                const QString &name = names.at(index);
                try {
                    return box.isValid() ? store->previewImage(name, box) : store->fullImage(name);
                } catch (const pages::PageError &error) {
                    qCWarning(lcPrint) << "page" << name << "printed empty:" << error.message();
                    return QImage();
                }
            }};
}

void printWholeDocument(TFrmPrevImg &form, std::shared_ptr<const pages::PageStore> store,
                        const pages::DocumentKey &key, QWidget *parent)
{
    QStringList names = store->listPages(key);
    if (names.isEmpty())
        return;
    form.setPages(documentReportPages(std::move(store), std::move(names)));
    form.Preview(parent);
}

} // namespace documents
