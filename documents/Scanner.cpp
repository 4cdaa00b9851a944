#include "documents/Scanner.h"

#include "editing/Prompt.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLoggingCategory>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <poll.h>
#include <sane/sane.h>
#include <sane/saneopts.h>

using namespace Qt::StringLiterals;

namespace documents {

namespace {

Q_LOGGING_CATEGORY(lcScan, "cartulo.scanner")

const QString kNoScanner = u"Nenhum scanner foi encontrado. Verifique se o scanner está ligado e conectado."_s;

QString statusText(SANE_Status status)
{
    return QString::fromLocal8Bit(sane_strstatus(status));
}

// ---------------------------------------------------------------- options by name

struct Option {
    SANE_Int index = 0;
    const SANE_Option_Descriptor *descriptor = nullptr;
};

std::optional<Option> findOption(SANE_Handle handle, const char *name)
{
    SANE_Int count = 0;
    if (sane_control_option(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        return std::nullopt;
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor *d = sane_get_option_descriptor(handle, i);
        if (d && d->name && std::strcmp(d->name, name) == 0)
            return Option{i, d};
    }
    return std::nullopt;
}

bool isUsable(const SANE_Option_Descriptor *d)
{
    return SANE_OPTION_IS_ACTIVE(d->cap) && SANE_OPTION_IS_SETTABLE(d->cap);
}

bool isScalarNumber(const SANE_Option_Descriptor *d)
{
    return (d->type == SANE_TYPE_INT || d->type == SANE_TYPE_FIXED) && d->size == SANE_Int(sizeof(SANE_Word));
}

int wordToDpi(const SANE_Option_Descriptor *d, SANE_Word word)
{
    return d->type == SANE_TYPE_FIXED ? qRound(SANE_UNFIX(word)) : int(word);
}

QString readString(SANE_Handle handle, const Option &option)
{
    std::vector<char> buffer(size_t(std::max<SANE_Int>(option.descriptor->size, 1)) + 1, '\0');
    if (sane_control_option(handle, option.index, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) != SANE_STATUS_GOOD)
        return {};
    return QString::fromLocal8Bit(buffer.data());
}

ScanSourceOptions readOptions(SANE_Handle handle)
{
    ScanSourceOptions options;
    if (const auto mode = findOption(handle, SANE_NAME_SCAN_MODE);
        mode && mode->descriptor->type == SANE_TYPE_STRING && SANE_OPTION_IS_ACTIVE(mode->descriptor->cap)) {
        if (mode->descriptor->constraint_type == SANE_CONSTRAINT_STRING_LIST)
            for (const SANE_String_Const *s = mode->descriptor->constraint.string_list; s && *s; ++s)
                options.modes.append(QString::fromLocal8Bit(*s));
        options.currentMode = readString(handle, *mode);
    }
    if (const auto res = findOption(handle, SANE_NAME_SCAN_RESOLUTION);
        res && isScalarNumber(res->descriptor) && SANE_OPTION_IS_ACTIVE(res->descriptor->cap)) {
        const SANE_Option_Descriptor *d = res->descriptor;
        if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
            const SANE_Word *list = d->constraint.word_list;
            for (SANE_Word i = 1; list && i <= list[0]; ++i)
                options.resolutions.append(wordToDpi(d, list[i]));
        } else if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
            const int low = wordToDpi(d, d->constraint.range->min);
            const int high = wordToDpi(d, d->constraint.range->max);
            for (int dpi : {75, 100, 150, 200, 300, 400, 600, 1200})
                if (dpi >= low && dpi <= high)
                    options.resolutions.append(dpi);
        }
        SANE_Word current = 0;
        if (sane_control_option(handle, res->index, SANE_ACTION_GET_VALUE, &current, nullptr) == SANE_STATUS_GOOD) {
            options.currentResolution = wordToDpi(d, current);
            if (options.currentResolution > 0 && !options.resolutions.contains(options.currentResolution)) {
                options.resolutions.append(options.currentResolution);
                std::sort(options.resolutions.begin(), options.resolutions.end());
            }
        }
    }
    return options;
}

// Mode first, resolution last: a mode change may reload the other options.
void applySettings(SANE_Handle handle, const ScanSettings &settings)
{
    if (!settings.mode.isEmpty()) {
        const auto mode = findOption(handle, SANE_NAME_SCAN_MODE);
        if (mode && mode->descriptor->type == SANE_TYPE_STRING && isUsable(mode->descriptor)) {
            std::vector<char> value(size_t(std::max<SANE_Int>(mode->descriptor->size, 1)), '\0');
            const QByteArray wanted = settings.mode.toLocal8Bit();
            std::strncpy(value.data(), wanted.constData(), value.size() - 1);
            const SANE_Status status = sane_control_option(handle, mode->index, SANE_ACTION_SET_VALUE, value.data(), nullptr);
            if (status != SANE_STATUS_GOOD)
                qCWarning(lcScan) << "mode" << settings.mode << "refused:" << statusText(status);
        }
    }
    if (settings.resolution > 0) {
        const auto res = findOption(handle, SANE_NAME_SCAN_RESOLUTION); // looked up again after a reload
        if (res && isScalarNumber(res->descriptor) && isUsable(res->descriptor)) {
            SANE_Word word = res->descriptor->type == SANE_TYPE_FIXED ? SANE_FIX(settings.resolution) : SANE_Word(settings.resolution);
            const SANE_Status status = sane_control_option(handle, res->index, SANE_ACTION_SET_VALUE, &word, nullptr);
            if (status != SANE_STATUS_GOOD)
                qCWarning(lcScan) << "resolution" << settings.resolution << "refused:" << statusText(status);
        }
    }
}

// ---------------------------------------------------------------- frames to an image

struct Frame {
    SANE_Parameters parameters{};
    QByteArray data;

    int lines() const
    {
        const int bpl = parameters.bytes_per_line;
        if (bpl <= 0)
            return 0;
        const int received = int(data.size() / bpl); // lines == -1: as many as came
        return parameters.lines >= 0 ? std::min(parameters.lines, received) : received;
    }
};

// One sample of a line: 1-bit samples are packed from the most significant bit;
// 16-bit samples come in the machine's byte order.
int sampleAt(const uchar *line, int index, int depth)
{
    switch (depth) {
    case 1:
        return (line[index / 8] >> (7 - index % 8)) & 1;
    case 16: {
        quint16 value;
        std::memcpy(&value, line + 2 * index, sizeof value);
        return value >> 8;
    }
    default:
        return line[index];
    }
}

int channelOf(SANE_Frame format)
{
    switch (format) {
    case SANE_FRAME_RED: return 0;
    case SANE_FRAME_GREEN: return 1;
    case SANE_FRAME_BLUE: return 2;
    default: return -1;
    }
}

// Why the parameters a backend reports cannot make a page, or nothing when they can: a
// known frame format, 1, 8 or 16 bits per sample, and lines that hold their pixels (a
// shorter line would be read past its end).
std::optional<QString> invalidParameters(const SANE_Parameters &p)
{
    const bool knownFormat = p.format == SANE_FRAME_GRAY || p.format == SANE_FRAME_RGB || channelOf(p.format) >= 0;
    if (!knownFormat)
        return u"formato de quadro desconhecido (%1)"_s.arg(int(p.format));
    if (p.depth != 1 && p.depth != 8 && p.depth != 16)
        return u"%1 bits por amostra (o programa lê 1, 8 ou 16)"_s.arg(p.depth);
    if (p.pixels_per_line <= 0)
        return u"%1 pixels por linha"_s.arg(p.pixels_per_line);
    if (p.lines < -1)
        return u"%1 linhas"_s.arg(p.lines);
    const qint64 channels = p.format == SANE_FRAME_RGB ? 3 : 1;
    const qint64 needed = (qint64(p.pixels_per_line) * channels * p.depth + 7) / 8;
    if (p.bytes_per_line < needed)
        return u"linhas de %1 bytes para %2 pixels, que ocupam %3 bytes"_s.arg(p.bytes_per_line).arg(p.pixels_per_line).arg(needed);
    return std::nullopt;
}

// Why a frame cannot follow those already read, or nothing: the three colours of a
// three-pass scan come once each, alike in size and depth.
std::optional<QString> invalidNextFrame(const std::vector<Frame> &read, const SANE_Parameters &next)
{
    if (read.empty())
        return std::nullopt;
    const SANE_Parameters &first = read.front().parameters;
    if (channelOf(next.format) < 0 || channelOf(first.format) < 0)
        return u"um quadro de outro tipo no meio de uma imagem em três passadas"_s;
    if (next.pixels_per_line != first.pixels_per_line || next.depth != first.depth)
        return u"quadros de tamanhos diferentes na mesma imagem"_s;
    for (const Frame &frame : read)
        if (frame.parameters.format == next.format)
            return u"a mesma cor enviada duas vezes"_s;
    return std::nullopt;
}

QString malformed(const QString &why)
{
    return u"O scanner enviou dados de imagem inválidos: "_s + why + u'.';
}

QImage imageFromFrames(const std::vector<Frame> &frames)
{
    if (frames.empty())
        return {};
    const int width = frames.front().parameters.pixels_per_line;
    int height = frames.front().lines();
    for (const Frame &frame : frames)
        height = std::min(height, frame.lines());
    if (width <= 0 || height <= 0)
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        throw std::runtime_error("sem memória para a imagem");
    image.fill(Qt::black);

    for (const Frame &frame : frames) {
        const SANE_Parameters &p = frame.parameters;
        const int depth = p.depth;
        for (int y = 0; y < height; ++y) {
            const auto *line = reinterpret_cast<const uchar *>(frame.data.constData()) + qsizetype(y) * p.bytes_per_line;
            auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
            if (p.format == SANE_FRAME_GRAY) {
                for (int x = 0; x < width; ++x) {
                    int v = sampleAt(line, x, depth);
                    if (depth == 1)
                        v = v ? 0 : 255; // line art: a set bit is black
                    out[x] = qRgb(v, v, v);
                }
            } else if (p.format == SANE_FRAME_RGB) {
                for (int x = 0; x < width; ++x) {
                    int rgb[3];
                    for (int c = 0; c < 3; ++c) {
                        rgb[c] = sampleAt(line, x * 3 + c, depth);
                        if (depth == 1)
                            rgb[c] = rgb[c] ? 255 : 0; // colour bits: a set bit is full intensity
                    }
                    out[x] = qRgb(rgb[0], rgb[1], rgb[2]);
                }
            } else if (const int channel = channelOf(p.format); channel >= 0) {
                const int shift = 16 - 8 * channel;
                for (int x = 0; x < width; ++x) {
                    int v = sampleAt(line, x, depth);
                    if (depth == 1)
                        v = v ? 255 : 0;
                    out[x] = (out[x] & ~(0xFFu << shift)) | (QRgb(v) << shift);
                }
            }
        }
    }
    return image;
}

// ---------------------------------------------------------------- reading one page

// What the window's thread and the SANE thread share while one page is read.
struct ScanSession {
    std::mutex mutex;
    SANE_Handle handle = nullptr; // set while the device is open; cancelled only under mutex
    std::atomic<bool> cancelled{false};
    std::atomic<qint64> bytesRead{0};
    std::atomic<qint64> bytesExpected{0}; // 0: unknown (a hand scanner)
    std::atomic<bool> finished{false};
    QImage image;  // written by the SANE thread before `finished`
    QString error; // likewise

    void cancel()
    {
        std::lock_guard lock(mutex);
        cancelled = true;
        if (handle)
            sane_cancel(handle); // the one SANE call allowed from another thread
    }
};

// Reads one frame. Non-blocking with the select descriptor where the backend offers
// both, so a cancel is noticed between reads even when no data comes.
SANE_Status readFrame(SANE_Handle handle, ScanSession &session, Frame &frame)
{
    bool nonBlocking = sane_set_io_mode(handle, SANE_TRUE) == SANE_STATUS_GOOD;
    SANE_Int fd = -1;
    if (nonBlocking && sane_get_select_fd(handle, &fd) != SANE_STATUS_GOOD) {
        sane_set_io_mode(handle, SANE_FALSE);
        nonBlocking = false;
    }
    // Room for the announced page, within reason: a page that is bigger grows as it comes.
    constexpr qint64 kMostReserved = 256 * 1024 * 1024;
    if (frame.parameters.lines > 0)
        frame.data.reserve(qsizetype(std::min(kMostReserved, qint64(frame.parameters.lines) * frame.parameters.bytes_per_line)));
    std::vector<SANE_Byte> buffer(64 * 1024);
    for (;;) {
        if (session.cancelled)
            return SANE_STATUS_CANCELLED;
        if (nonBlocking) {
            // Read only once the descriptor says data (or the end) is there.
            pollfd waitFor{fd, POLLIN, 0};
            if (::poll(&waitFor, 1, 100) == 0)
                continue;
        }
        SANE_Int length = 0;
        const SANE_Status status = sane_read(handle, buffer.data(), SANE_Int(buffer.size()), &length);
        if (status == SANE_STATUS_EOF)
            return SANE_STATUS_GOOD;
        if (status != SANE_STATUS_GOOD)
            return status;
        if (length < 0 || length > SANE_Int(buffer.size()))
            return SANE_STATUS_IO_ERROR; // a backend that reports what it cannot have read
        if (length > 0) {
            frame.data.append(reinterpret_cast<const char *>(buffer.data()), length);
            session.bytesRead += length;
        }
    }
}

QString deviceError(const QString &what, SANE_Status status)
{
    return what + u": "_s + statusText(status);
}

// Runs on the SANE thread: open, set the choice, read every frame, close.
void readPage(ScanSession &session, const ScanSettings &settings)
{
    SANE_Handle handle = nullptr;
    const QByteArray device = settings.device.toLocal8Bit();
    SANE_Status status = sane_open(device.constData(), &handle);
    if (status != SANE_STATUS_GOOD) {
        session.error = deviceError(u"Não foi possível abrir o scanner %1"_s.arg(settings.device), status);
        return;
    }
    {
        std::lock_guard lock(session.mutex);
        session.handle = handle;
    }
    const auto closeDevice = qScopeGuard([&] {
        {
            std::lock_guard lock(session.mutex);
            session.handle = nullptr;
        }
        sane_cancel(handle); // ends the scan, as the SANE code flow asks after the last frame
        sane_close(handle);
    });
    applySettings(handle, settings);

    std::vector<Frame> frames;
    for (;;) {
        if (session.cancelled)
            return;
        status = sane_start(handle);
        if (status != SANE_STATUS_GOOD) {
            if (status != SANE_STATUS_CANCELLED)
                session.error = deviceError(u"O scanner não iniciou a leitura"_s, status);
            return;
        }
        Frame frame;
        status = sane_get_parameters(handle, &frame.parameters);
        if (status != SANE_STATUS_GOOD) {
            session.error = deviceError(u"O scanner não informou o formato da imagem"_s, status);
            return;
        }
        const SANE_Parameters &p = frame.parameters;
        if (const auto why = invalidParameters(p)) {
            session.error = malformed(*why);
            return;
        }
        if (const auto why = invalidNextFrame(frames, p)) {
            session.error = malformed(*why);
            return;
        }
        if (frames.empty() && p.lines > 0)
            session.bytesExpected = qint64(p.bytes_per_line) * p.lines * (channelOf(p.format) >= 0 ? 3 : 1);
        status = readFrame(handle, session, frame);
        if (status != SANE_STATUS_GOOD) {
            if (status != SANE_STATUS_CANCELLED && !session.cancelled)
                session.error = deviceError(u"A leitura da página falhou"_s, status);
            return;
        }
        // A grey or colour frame, or the third colour, completes the image whatever it
        // says of frames to come: starting again would read the next sheet of a feeder.
        const bool whole = p.last_frame || channelOf(p.format) < 0 || frames.size() == 2;
        frames.push_back(std::move(frame));
        if (whole)
            break;
    }
    if (channelOf(frames.front().parameters.format) >= 0 && frames.size() != 3) {
        session.error = malformed(u"faltam cores da imagem em três passadas"_s);
        return;
    }
    session.image = imageFromFrames(frames);
    if (session.image.isNull())
        session.error = u"O scanner não enviou nenhuma linha."_s;
}

// Nothing thrown may leave the SANE thread (it would end the program).
void scanPage(ScanSession &session, const ScanSettings &settings) noexcept
{
    try {
        readPage(session, settings);
    } catch (const std::bad_alloc &) {
        session.image = QImage();
        session.error = u"Não há memória para a página lida do scanner."_s;
    } catch (const std::exception &e) {
        session.image = QImage();
        session.error = QString::fromLocal8Bit(e.what());
    }
}

// ---------------------------------------------------------------- dialogs

// Modal while a page is read; closes itself when the SANE thread is done.
class ScanProgressDialog : public QDialog {
public:
    ScanProgressDialog(QWidget *parent, ScanSession &session) : QDialog(parent), m_session(session)
    {
        setObjectName(u"DlgScanProgress"_s);
        setWindowTitle(u"Adquirir"_s);
        setModal(true);
        auto *layout = new QVBoxLayout(this);
        m_label = new QLabel(u"Lendo a página do scanner..."_s, this);
        m_label->setObjectName(u"LblScanStatus"_s);
        m_bar = new QProgressBar(this);
        m_bar->setObjectName(u"PrgScan"_s);
        m_bar->setRange(0, 100);
        m_bar->setAccessibleName(u"Progresso da leitura"_s);
        m_cancel = new QPushButton(u"Cancelar"_s, this);
        m_cancel->setObjectName(u"BtnCancelar"_s);
        layout->addWidget(m_label);
        layout->addWidget(m_bar);
        layout->addWidget(m_cancel, 0, Qt::AlignRight);
        connect(m_cancel, &QPushButton::clicked, this, [this] { requestCancel(); });
        auto *timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] { showProgress(); });
        timer->start(100);
        resize(360, sizeHint().height());
    }

    // Esc and the close box cancel too; the dialog closes once the reading has stopped.
    void reject() override { requestCancel(); }

private:
    void requestCancel()
    {
        if (m_session.cancelled)
            return;
        m_session.cancel();
        m_cancel->setEnabled(false);
        m_label->setText(u"Cancelando..."_s);
    }

    void showProgress()
    {
        const qint64 expected = m_session.bytesExpected;
        if (expected <= 0) {
            m_bar->setRange(0, 0); // unknown length: a busy bar
            return;
        }
        m_bar->setRange(0, 100);
        m_bar->setValue(int(std::min<qint64>(100, m_session.bytesRead * 100 / expected)));
    }

    ScanSession &m_session;
    QLabel *m_label = nullptr;
    QProgressBar *m_bar = nullptr;
    QPushButton *m_cancel = nullptr;
};

QString modeLabel(const QString &mode)
{
    if (mode == QLatin1StringView(SANE_VALUE_SCAN_MODE_COLOR))
        return u"Colorido"_s;
    if (mode == QLatin1StringView(SANE_VALUE_SCAN_MODE_GRAY))
        return u"Tons de cinza"_s;
    if (mode == QLatin1StringView(SANE_VALUE_SCAN_MODE_LINEART))
        return u"Preto e branco"_s;
    if (mode == QLatin1StringView(SANE_VALUE_SCAN_MODE_HALFTONE))
        return u"Meio-tom"_s;
    return mode;
}

class ScanSourceDialog : public QDialog {
public:
    ScanSourceDialog(QWidget *parent, Scanner &scanner, const QList<ScanSource> &sources,
                     const std::optional<ScanSettings> &remembered)
        : QDialog(parent), m_scanner(scanner), m_remembered(remembered)
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
        for (const ScanSource &source : sources) {
            auto *item = new QTreeWidgetItem(m_list, {source.vendor, source.model, source.name});
            item->setData(0, Qt::UserRole, source.name);
        }
        m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        layout->addWidget(m_list);

        auto *form = new QFormLayout;
        m_mode = new QComboBox(this);
        m_mode->setObjectName(u"CmbModo"_s);
        m_resolution = new QComboBox(this);
        m_resolution->setObjectName(u"CmbResolucao"_s);
        form->addRow(u"Modo de cor"_s, m_mode);
        form->addRow(u"Resolução"_s, m_resolution);
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

        QTreeWidgetItem *initial = m_list->topLevelItem(0);
        for (int i = 0; remembered && i < m_list->topLevelItemCount(); ++i)
            if (m_list->topLevelItem(i)->data(0, Qt::UserRole).toString() == remembered->device)
                initial = m_list->topLevelItem(i);
        m_list->setCurrentItem(initial);
        resize(520, 340);
    }

    ScanSettings chosen() const
    {
        ScanSettings settings;
        if (const QTreeWidgetItem *item = m_list->currentItem())
            settings.device = item->data(0, Qt::UserRole).toString();
        settings.mode = m_mode->currentData().toString();
        settings.resolution = m_resolution->currentData().toInt();
        return settings;
    }

private:
    void showOptionsOf(QTreeWidgetItem *item)
    {
        m_mode->clear();
        m_resolution->clear();
        m_status->clear();
        m_buttons->button(QDialogButtonBox::Ok)->setEnabled(item != nullptr);
        if (!item)
            return;
        const QString device = item->data(0, Qt::UserRole).toString();
        ScanSourceOptions options;
        try {
            options = m_scanner.sourceOptions(device);
        } catch (const std::exception &e) {
            m_status->setText(QString::fromLocal8Bit(e.what()));
        }
        const bool remembered = m_remembered && m_remembered->device == device;
        const QString mode = remembered && !m_remembered->mode.isEmpty() ? m_remembered->mode : options.currentMode;
        const int dpi = remembered && m_remembered->resolution > 0 ? m_remembered->resolution : options.currentResolution;
        for (const QString &m : options.modes)
            m_mode->addItem(modeLabel(m), m);
        m_mode->setCurrentIndex(std::max(0, m_mode->findData(mode)));
        for (int r : options.resolutions)
            m_resolution->addItem(u"%1 dpi"_s.arg(r), r);
        m_resolution->setCurrentIndex(std::max(0, m_resolution->findData(dpi)));
        m_mode->setEnabled(m_mode->count() > 0);
        m_resolution->setEnabled(m_resolution->count() > 0);
    }

    Scanner &m_scanner;
    std::optional<ScanSettings> m_remembered;
    QTreeWidget *m_list = nullptr;
    QComboBox *m_mode = nullptr;
    QComboBox *m_resolution = nullptr;
    QLabel *m_status = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
};

// Waits for the SANE thread while the window keeps painting; user input waits meanwhile.
template <typename T>
T waitKeepingWindowAlive(std::future<T> &future)
{
    while (future.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return future.get();
}

} // namespace

// ---------------------------------------------------------------- the SANE thread

/// One thread that runs queued tasks in order: every SANE call between load and unload.
class SaneWorker {
public:
    SaneWorker() : m_thread([this] { run(); }) {}
    ~SaneWorker()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    SaneWorker(const SaneWorker &) = delete;
    SaneWorker &operator=(const SaneWorker &) = delete;

    void post(std::function<void()> task)
    {
        {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_wake.notify_one();
    }

private:
    void run()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
                if (m_tasks.empty())
                    return;
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            task();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::thread m_thread; // last: starts once the members above exist
};

template <typename F>
auto Scanner::onSaneThread(F &&f)
{
    using Result = std::invoke_result_t<F>;
    auto task = std::make_shared<std::packaged_task<Result()>>(std::forward<F>(f));
    std::future<Result> future = task->get_future();
    m_worker->post([task] { (*task)(); });
    return waitKeepingWindowAlive(future);
}

// ---------------------------------------------------------------- Scanner

Scanner::Scanner(QObject *parent) : QObject(parent) {}

Scanner::~Scanner()
{
    unload();
}

bool Scanner::isLoaded() const
{
    return m_worker != nullptr;
}

int Scanner::load()
{
    if (isLoaded())
        return 1;
    m_lastError.clear();
    m_worker = std::make_unique<SaneWorker>();
    const SANE_Status status = onSaneThread([] {
        SANE_Int version = 0;
        return sane_init(&version, nullptr);
    });
    if (status != SANE_STATUS_GOOD) {
        m_lastError = deviceError(u"SANE não pôde ser iniciado"_s, status);
        qCWarning(lcScan) << m_lastError;
        m_worker.reset();
        return 0;
    }
    return 1;
}

void Scanner::unload()
{
    if (!isLoaded())
        return;
    onSaneThread([] { sane_exit(); });
    m_worker.reset();
}

QList<ScanSource> Scanner::sources()
{
    const bool loadedHere = !isLoaded();
    if (loadedHere && load() <= 0)
        return {};
    const auto unloadAfter = qScopeGuard([&] {
        if (loadedHere)
            unload();
    });
    return onSaneThread([] {
        QList<ScanSource> found;
        const SANE_Device **devices = nullptr;
        if (sane_get_devices(&devices, SANE_FALSE) != SANE_STATUS_GOOD || !devices)
            return found;
        for (const SANE_Device **d = devices; *d; ++d)
            found.append({QString::fromLocal8Bit((*d)->name), QString::fromLocal8Bit((*d)->vendor),
                          QString::fromLocal8Bit((*d)->model), QString::fromLocal8Bit((*d)->type)});
        return found;
    });
}

ScanSourceOptions Scanner::sourceOptions(const QString &device)
{
    const bool loadedHere = !isLoaded();
    if (loadedHere && load() <= 0)
        throw std::runtime_error(m_lastError.toStdString());
    const auto unloadAfter = qScopeGuard([&] {
        if (loadedHere)
            unload();
    });
    const QByteArray name = device.toLocal8Bit();
    std::optional<ScanSourceOptions> options;
    QString error;
    onSaneThread([&] {
        SANE_Handle handle = nullptr;
        const SANE_Status status = sane_open(name.constData(), &handle);
        if (status != SANE_STATUS_GOOD) {
            error = deviceError(u"Não foi possível abrir o scanner %1"_s.arg(device), status);
            return;
        }
        options = readOptions(handle);
        sane_close(handle);
    });
    if (!options)
        throw std::runtime_error(error.toStdString());
    return *options;
}

std::optional<ScanSettings> Scanner::settings() const
{
    return m_settings;
}

void Scanner::setSettings(const ScanSettings &settings)
{
    m_settings = settings;
}

int Scanner::selectSource(QWidget *window)
{
    const bool loadedHere = !isLoaded();
    if (loadedHere && load() <= 0) {
        editing::prompt().message(kNoScanner);
        return 0;
    }
    const auto unloadAfter = qScopeGuard([&] {
        if (loadedHere)
            unload();
    });
    const QList<ScanSource> found = sources();
    if (found.isEmpty()) {
        editing::prompt().message(kNoScanner);
        return 0;
    }
    ScanSourceDialog dialog(window, *this, found, m_settings);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    m_settings = dialog.chosen();
    qCDebug(lcScan) << "source chosen:" << m_settings->device << m_settings->mode << m_settings->resolution;
    return 1;
}

int Scanner::acquire(QWidget *window)
{
    m_image = QImage();
    m_lastError.clear();
    m_cancelled = false;
    if (!isLoaded()) {
        m_lastError = u"O scanner não foi carregado."_s;
        return 0;
    }
    ScanSettings settings;
    if (m_settings) {
        settings = *m_settings;
    } else {
        // No choice yet: the first source found, as TWAIN's default source.
        const QList<ScanSource> found = sources();
        if (found.isEmpty()) {
            m_lastError = kNoScanner;
            return 0;
        }
        settings.device = found.front().name;
    }
    m_image = runScan(window, settings);
    if (!m_lastError.isEmpty())
        qCWarning(lcScan) << m_lastError;
    return m_image.isNull() ? 0 : 1;
}

QImage Scanner::runScan(QWidget *window, const ScanSettings &settings)
{
    auto session = std::make_shared<ScanSession>();
    ScanProgressDialog dialog(window, *session);
    QDialog *const dialogAddress = &dialog;
    m_worker->post([session, settings, dialogAddress] {
        scanPage(*session, settings);
        // Queued, so it runs inside exec(); `finished` comes after, so the dialog outlives it.
        QMetaObject::invokeMethod(dialogAddress, &QDialog::accept, Qt::QueuedConnection);
        session->finished = true;
    });
    dialog.exec();
    while (!session->finished)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);

    m_cancelled = session->cancelled;
    if (m_cancelled)
        return {}; // a cancelled page is never delivered, even if it had arrived whole
    m_lastError = session->error;
    return std::move(session->image);
}

QImage Scanner::takeImage()
{
    return std::exchange(m_image, QImage());
}

QString Scanner::lastError() const
{
    return m_lastError;
}

bool Scanner::lastWasCancelled() const
{
    return m_cancelled;
}

} // namespace documents
