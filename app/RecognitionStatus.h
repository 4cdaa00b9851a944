#pragma once
#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;

namespace ocr {
class RecognitionWorker;
struct ArchiveSource;
}

/// The main window's line about text recognition: how many pages still wait
/// ("Reconhecendo texto: 1.234 páginas") and "Pausar reconhecimento" / "Retomar
/// reconhecimento". Shown only while pages wait; the window never waits for the worker.
class RecognitionStatus : public QWidget {
    Q_OBJECT
public:
    explicit RecognitionStatus(QWidget *parent = nullptr);
    ~RecognitionStatus() override;

    /// Starts recognising the archive's waiting pages in the background.
    void start(const ocr::ArchiveSource &source);
    /// Pages may have entered: look for them now.
    void wake();

    QLabel *label() const { return m_label; }
    QPushButton *pauseButton() const { return m_pause; }
    ocr::RecognitionWorker *worker() const { return m_worker.get(); }

    /// "Reconhecendo texto: 1.234 páginas".
    static QString waitingText(int pages);

private:
    void showWaiting(int pages);
    void togglePause();

    QLabel *m_label;
    QPushButton *m_pause;
    std::unique_ptr<ocr::RecognitionWorker> m_worker;
};
