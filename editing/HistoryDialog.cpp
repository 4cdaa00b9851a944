#include "editing/HistoryDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

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
    m_table = new QTableView(this);
    m_table->setObjectName(u"TblHistorico"_s);
    m_table->setModel(m_model);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(true);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->resizeRowsToContents();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    resize(900, 420);
}

} // namespace editing
