// Loaded into the real `cartulo` executable by the benchmark through Qt's own generic
// plugin mechanism (QT_QPA_GENERIC_PLUGINS, QT_PLUGIN_PATH), so the program needs no
// option of its own to be timed. It waits for the main window's first paint, lets the
// events that the first show posted run, then prints the moment (CLOCK_MONOTONIC, the
// same clock the launcher read before starting the program) and the peak resident memory
// on standard output, and ends the event loop as closing the window would.

#include <QCoreApplication>
#include <QEvent>
#include <QGenericPlugin>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {

long peakResidentKb()
{
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1)
            break;
    }
    std::fclose(status);
    return kb;
}

class FirstShowWatcher : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_seen || event->type() != QEvent::Paint)
            return false;
        const auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || !widget->isWindow() || !widget->inherits("TfrmCartulo"))
            return false;
        m_seen = true;
        // Two hops through the event queue: what the first show posted, and what that
        // posted in turn, runs before the moment is taken.
        QTimer::singleShot(0, this, [this] { QTimer::singleShot(0, this, [this] { report(); }); });
        return false;
    }

private:
    void report()
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::printf("cartulo-probe first-show-done %lld %ld\n",
                    static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, peakResidentKb());
        std::fflush(stdout);
        QCoreApplication::exit(0);
    }

    bool m_seen = false;
};

} // namespace

class StartupProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "cartulostartupprobe.json")
public:
    QObject *create(const QString &key, const QString &) override
    {
        if (key.compare(QLatin1String("cartulostartupprobe"), Qt::CaseInsensitive) != 0)
            return nullptr;
        auto *watcher = new FirstShowWatcher; // owned by the application's plugin list
        QCoreApplication::instance()->installEventFilter(watcher);
        return watcher;
    }
};

#include "StartupProbe.moc"
