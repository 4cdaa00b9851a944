#pragma once
#include <QString>
#include <QWidget>

namespace db {
class Connection;
}

/// The main window. It owns the one archive connection `ConnArq` for the program's
/// whole run (closed until start-up opens it) and, as the program grows, every screen.
class TfrmCartulo : public QWidget {
    Q_OBJECT
public:
    /// programDir: the folder of the program file; the archive's paths start there.
    explicit TfrmCartulo(const QString &programDir, QWidget *parent = nullptr);
    ~TfrmCartulo() override;

    QString programDir() const;

    /// Set-up once ConnArq is open (start-up runs it before showing the window).
    void FormCreate();

    db::Connection *ConnArq = nullptr; ///< child object named "ConnArq"

private:
    QString m_programDir;
};
