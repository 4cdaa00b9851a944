#include "documents/ScanSourceDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace documents {

namespace {

// SANE's well-known mode names, in Portuguese; a backend's own names are shown as they are.
QString modeLabel(const QString &mode)
{
    if (mode == u"Color"_s)
        return u"Colorido"_s;
    if (mode == u"Gray"_s)
        return u"Tons de cinza"_s;
    if (mode == u"Lineart"_s)
        return u"Preto e branco"_s;
    if (mode == u"Halftone"_s)
        return u"Meio-tom"_s;
    return mode;
}

void selectData(QComboBox *box, const QVariant &wanted, const QVariant &otherwise)
{
    int index = box->findData(wanted);
    if (index < 0)
        index = box->findData(otherwise);
    box->setCurrentIndex(std::max(0, index));
}

} // namespace

ScanSourceDialog::ScanSourceDialog(QWidget *parent, const QList<scan::ScanSource> &sources, const QString &initialDevice,
                                   OptionsOf optionsOf, RememberedFor rememberedFor)
    : QDialog(parent), m_optionsOf(std::move(optionsOf)), m_rememberedFor(std::move(rememberedFor))
{
    setObjectName(u"DlgScanSource"_s);
    setWindowTitle(u"Selecionar scanner"_s);
    setModal(true);
    auto *layout = new QVBoxLayout(this);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(u"LstScanners"_s);
    m_list->setAccessibleName(u"Scanners"_s);
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({u"Fabricante"_s, u"Modelo"_s, u"Dispositivo"_s});
    for (const scan::ScanSource &source : sources) {
        auto *item = new QTreeWidgetItem(m_list, {source.vendor, source.model, source.name});
        item->setData(0, Qt::UserRole, source.name);
    }
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_list);

    auto *form = new QFormLayout;
    m_source = new QComboBox(this);
    m_source->setObjectName(u"CmbFonte"_s);
    m_source->setAccessibleName(u"Fonte"_s);
    m_mode = new QComboBox(this);
    m_mode->setObjectName(u"CmbModo"_s);
    m_mode->setAccessibleName(u"Modo de cor"_s);
    m_resolution = new QComboBox(this);
    m_resolution->setObjectName(u"CmbResolucao"_s);
    m_resolution->setAccessibleName(u"Resolução"_s);
    form->addRow(u"&Fonte"_s, m_source);
    form->addRow(u"&Modo de cor"_s, m_mode);
    form->addRow(u"&Resolução"_s, m_resolution);
    m_skipBlank = new QCheckBox(u"&Pular páginas em branco"_s, this);
    m_skipBlank->setObjectName(u"ChkPularBrancas"_s);
    m_blankInk = new QDoubleSpinBox(this);
    m_blankInk->setObjectName(u"SpnLimiteBranco"_s);
    m_blankInk->setAccessibleName(u"Limite de página em branco"_s);
    m_blankInk->setDecimals(3);
    m_blankInk->setRange(0.001, 5.0);
    m_blankInk->setSingleStep(0.005);
    m_blankInk->setSuffix(u" % de pontos escuros"_s);
    m_blankInk->setValue(scan::kDefaultBlankInkPercent);
    form->addRow(m_skipBlank);
    form->addRow(u"Em branco abaixo de"_s, m_blankInk);
    layout->addLayout(form);
    m_status = new QLabel(this);
    m_status->setObjectName(u"LblScanOptions"_s);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->setObjectName(u"BtnsScanSource"_s);
    m_buttons->button(QDialogButtonBox::Ok)->setText(u"OK"_s);
    m_buttons->button(QDialogButtonBox::Cancel)->setText(u"Cancelar"_s);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) { showOptionsOf(item); });
    connect(m_mode, &QComboBox::currentIndexChanged, this, [this] { fillResolutions(m_resolution->currentData().toInt()); });
    connect(m_source, &QComboBox::currentIndexChanged, this, [this] { sourceChanged(); });
    connect(m_skipBlank, &QCheckBox::toggled, this, [this] { sourceChanged(); });

    QTreeWidgetItem *initial = m_list->topLevelItem(0);
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (m_list->topLevelItem(i)->data(0, Qt::UserRole).toString() == initialDevice)
            initial = m_list->topLevelItem(i);
    m_list->setCurrentItem(initial);
    resize(540, 400);
}

scan::ScanSettings ScanSourceDialog::chosen() const
{
    scan::ScanSettings settings;
    if (const QTreeWidgetItem *item = m_list->currentItem())
        settings.device = item->data(0, Qt::UserRole).toString();
    settings.source = m_source->currentData().toString();
    settings.mode = m_mode->currentData().toString();
    settings.resolution = m_resolution->currentData().toInt();
    settings.skipBlankPages = m_skipBlank->isChecked();
    settings.blankInkPercent = m_blankInk->value();
    return settings;
}

void ScanSourceDialog::showOptionsOf(QTreeWidgetItem *item)
{
    const QSignalBlocker quietSource(m_source);
    const QSignalBlocker quietMode(m_mode);
    m_source->clear();
    m_mode->clear();
    m_resolution->clear();
    m_status->clear();
    m_options = {};
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(item != nullptr);
    if (!item)
        return;
    const QString device = item->data(0, Qt::UserRole).toString();
    try {
        m_options = m_optionsOf(device);
    } catch (const std::exception &e) {
        m_status->setText(QString::fromLocal8Bit(e.what()));
    }
    const std::optional<scan::ScanSettings> remembered = m_rememberedFor(device);
    for (const QString &source : std::as_const(m_options.sources))
        m_source->addItem(source, source); // the backend's own names
    selectData(m_source, remembered ? remembered->source : QString(), m_options.currentSource);
    m_source->setEnabled(m_source->count() > 0);
    for (const QString &mode : std::as_const(m_options.modes))
        m_mode->addItem(modeLabel(mode), mode);
    selectData(m_mode, remembered ? remembered->mode : QString(), m_options.currentMode);
    m_mode->setEnabled(m_mode->count() > 0);
    m_skipBlank->setChecked(remembered && remembered->skipBlankPages);
    m_blankInk->setValue(remembered ? remembered->blankInkPercent : scan::kDefaultBlankInkPercent);
    fillResolutions(remembered && remembered->resolution > 0 ? remembered->resolution : m_options.currentResolution);
    sourceChanged();
}

// The resolutions of the chosen mode; the preferred one when offered, else the nearest.
void ScanSourceDialog::fillResolutions(int preferred)
{
    m_resolution->clear();
    const QList<int> offered = m_options.resolutionsFor(m_mode->currentData().toString());
    int nearest = -1;
    for (int i = 0; i < offered.size(); ++i) {
        m_resolution->addItem(u"%1 dpi"_s.arg(offered[i]), offered[i]);
        if (nearest < 0 || std::abs(offered[i] - preferred) < std::abs(offered[nearest] - preferred))
            nearest = i;
    }
    m_resolution->setCurrentIndex(std::max(0, nearest));
    m_resolution->setEnabled(m_resolution->count() > 0);
}

void ScanSourceDialog::sourceChanged()
{
    const bool feeder = scan::isFeederSource(m_source->currentData().toString());
    m_skipBlank->setEnabled(feeder);
    m_blankInk->setEnabled(feeder && m_skipBlank->isChecked());
}

} // namespace documents
