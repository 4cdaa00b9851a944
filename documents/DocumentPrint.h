#pragma once
#include "documents/UntPrevImg.h"
#include "pages/PageStore.h"

#include <QStringList>
#include <memory>

class QWidget;

namespace documents {

/// The report of a whole document: one sheet per listed page, in order, each picture
/// seen upright (its EXIF orientation applied) and decoded only when its sheet is built.
/// A page that can no longer be read leaves its sheet empty.
ReportPages documentReportPages(std::shared_ptr<const pages::PageStore> store, QStringList pageNames);

/// "Imprimir documento": every page of the document in the page print form's preview
/// window, where its page buttons step through them. Nothing happens without pages.
void printWholeDocument(TFrmPrevImg &form, std::shared_ptr<const pages::PageStore> store,
                        const pages::DocumentKey &key, QWidget *parent);

} // namespace documents
