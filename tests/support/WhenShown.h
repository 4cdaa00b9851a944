#pragma once
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>

/// Runs `act` on the first visible dialog with that objectName: modal dialogs run their own
/// event loop, so a test reaches them from a timer. A dialog still open after a long while
/// is closed, so a test can fail but never hang.
inline void whenShown(const QString &objectName, std::function<void(QDialog *)> act)
{
    auto *timer = new QTimer(qApp);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QDialog *>(widget);
            if (dialog && dialog->objectName() == objectName && dialog->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(dialog);
                return;
            }
        }
        if (started->elapsed() > 30000) {
            timer->stop();
            timer->deleteLater();
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        }
    });
    timer->start(20);
}
