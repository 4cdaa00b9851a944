#pragma once
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace scan {
class ScanControl;
}

namespace documents {

/// Modal while pages are read (objectName "DlgScanProgress"): the page's progress and
/// "Cancelar". One page: "Cancelar" drops the page. A feeder batch: the label names the
/// page being read and the pages stored; "Cancelar" ends the batch once the page being
/// read is stored, and then offers "Interromper", which drops that page too. Esc and the
/// close box act as the button. Closed by its owner once the reading has stopped.
class ScanProgressDialog : public QDialog {
public:
    enum class Kind { OnePage, Feeder };
    ScanProgressDialog(QWidget *parent, scan::ScanControl &control, Kind kind);

    /// A feeder batch: how many pages are stored so far.
    void setStored(int stored);
    void reject() override;

private:
    void requestCancel();
    void showProgress();

    scan::ScanControl &m_control;
    Kind m_kind;
    int m_stored = 0;
    bool m_stopping = false;
    QLabel *m_label = nullptr;
    QProgressBar *m_bar = nullptr;
    QPushButton *m_cancel = nullptr;
};

} // namespace documents
