#pragma once
#include "scan/ScanTypes.h"

#include <QDialog>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace documents {

/// The source dialog (objectName "DlgScanSource"): the devices, and for the one selected
/// what it offers: "Fonte" (its sources by the backend's own names; none for a device
/// without a choice), "Modo de cor", "Resolução" (the resolutions of the chosen mode)
/// and, for a feeder, skipping blank pages. Each device starts as it was chosen last.
class ScanSourceDialog : public QDialog {
public:
    using OptionsOf = std::function<scan::DeviceOptions(const QString &device)>;
    using RememberedFor = std::function<std::optional<scan::ScanSettings>(const QString &device)>;

    ScanSourceDialog(QWidget *parent, const QList<scan::ScanSource> &sources, const QString &initialDevice,
                     OptionsOf optionsOf, RememberedFor rememberedFor);

    scan::ScanSettings chosen() const;

private:
    void showOptionsOf(QTreeWidgetItem *item);
    void fillResolutions(int preferred);
    void sourceChanged();

    OptionsOf m_optionsOf;
    RememberedFor m_rememberedFor;
    scan::DeviceOptions m_options;
    QTreeWidget *m_list = nullptr;
    QComboBox *m_source = nullptr;
    QComboBox *m_mode = nullptr;
    QComboBox *m_resolution = nullptr;
    QCheckBox *m_skipBlank = nullptr;
    QDoubleSpinBox *m_blankInk = nullptr;
    QLabel *m_status = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
};

} // namespace documents
