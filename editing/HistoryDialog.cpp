#include "editing/HistoryDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <functional>

using namespace Qt::StringLiterals;

namespace editing {

namespace {

QJsonObject objectOf(const QString &json)
{
    return json.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(json.toUtf8()).object();
}

QString valueText(const QJsonValue &value)
{
    if (value.isNull() || value.isUndefined())
        return u"(vazio)"_s;
    if (value.isString())
        return value.toString();
    if (value.isDouble()) {
        const double number = value.toDouble();
        const auto whole = qint64(number);
        return double(whole) == number ? QString::number(whole) : QString::number(number, 'g', 15);
    }
    return QString::fromUtf8(QJsonDocument(QJsonObject{{u"v"_s, value}}).toJson(QJsonDocument::Compact))
        .mid(5)
        .chopped(1);
}

// Fields in the order the row names them, the row after the change first.
QStringList fieldsOf(const QJsonObject &before, const QJsonObject &after)
{
    QStringList fields = after.keys();
    for (const QString &key : before.keys()) {
        if (!fields.contains(key))
            fields << key;
    }
    return fields;
}

// Tells when its rows and columns were laid out anew: resized, or a column stretched.
class LaidOutTable final : public QTableView {
public:
    using QTableView::QTableView;
    std::function<void()> afterLayout;

protected:
    void updateGeometries() override
    {
        QTableView::updateGeometries();
        if (afterLayout)
            afterLayout();
    }
};

} // namespace

QString changedFields(const QString &before, const QString &after)
{
    const QJsonObject old = objectOf(before);
    const QJsonObject now = objectOf(after);
    QStringList lines;
    for (const QString &field : fieldsOf(old, now)) {
        const QJsonValue was = old.value(field);
        const QJsonValue is = now.value(field);
        if (before.isEmpty()) {
            if (!is.isNull())
                lines << field + u": "_s + valueText(is);
        } else if (after.isEmpty()) {
            if (!was.isNull())
                lines << field + u": "_s + valueText(was);
        } else if (was != is) {
            lines << field + u": "_s + valueText(was) + u" → "_s + valueText(is);
        }
    }
    return lines.join(u'\n');
}

HistoryDialog::HistoryDialog(const QString &title, const std::vector<db::history::Entry> &entries, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(u"DlgHistorico"_s);
    setWindowTitle(title);
    m_model = new QStandardItemModel(int(entries.size()), ColumnCount, this);
    m_model->setHorizontalHeaderLabels({u"Data e hora"_s, u"Quem"_s, u"Estação"_s, u"Operação"_s, u"Chave"_s,
                                        u"Valores antigos → novos"_s});
    int row = 0;
    for (const db::history::Entry &entry : entries) {
        const QString texts[ColumnCount] = {entry.quando, entry.quem,      entry.estacao,
                                            entry.operacao, entry.chave, changedFields(entry.antes, entry.depois)};
        for (int column = 0; column < ColumnCount; ++column) {
            auto *item = new QStandardItem(texts[column]);
            item->setEditable(false);
            m_model->setItem(row, column, item);
        }
        ++row;
    }
    auto *table = new LaidOutTable(this);
    m_table = table;
    m_table->setObjectName(u"TblHistorico"_s);
    m_table->setModel(m_model);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(true);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_fitted.assign(entries.size(), false);
    table->afterLayout = [this] { fitVisibleRows(); };
    connect(m_table->verticalScrollBar(), &QScrollBar::valueChanged, this, &HistoryDialog::fitVisibleRows);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    resize(900, 420);
}

HistoryDialog::~HistoryDialog()
{
    // The list outlives this part of the dialog while the dialog's children go.
    static_cast<LaidOutTable *>(m_table)->afterLayout = nullptr;
}

void HistoryDialog::fitVisibleRows()
{
    // A column of another width wraps its texts anew.
    QList<int> widths;
    for (int column = 0; column < ColumnCount; ++column)
        widths << m_table->columnWidth(column);
    if (widths != m_fittedWidths) {
        m_fitted.assign(m_fitted.size(), false);
        m_fittedWidths = widths;
    }
    const int first = m_table->rowAt(0);
    if (first < 0)
        return;
    // Rows that grow push the later ones out of view; those are fitted when they come in.
    for (int row = first; row < int(m_fitted.size()) && m_table->rowViewportPosition(row) < m_table->viewport()->height();
         ++row) {
        if (!m_fitted[std::size_t(row)]) {
            m_table->resizeRowToContents(row);
            m_fitted[std::size_t(row)] = true;
        }
    }
}

} // namespace editing
