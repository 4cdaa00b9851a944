#include "scan/SaneSession.h"

#include "scan/ImageBuilder.h"
#include "scan/SaneStatus.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include <poll.h>
#include <sane/saneopts.h>

using namespace Qt::StringLiterals;

namespace scan {

namespace {

Q_LOGGING_CATEGORY(lcScan, "cartulo.scan")

SANE_Handle handleOf(void *handle)
{
    return static_cast<SANE_Handle>(handle);
}

struct Option {
    SANE_Int index = 0;
    const SANE_Option_Descriptor *descriptor = nullptr;
};

// Looked up again after every set: a set may reload the descriptors.
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

std::optional<Option> activeStringOption(SANE_Handle handle, const char *name)
{
    const auto option = findOption(handle, name);
    if (!option || option->descriptor->type != SANE_TYPE_STRING || !SANE_OPTION_IS_ACTIVE(option->descriptor->cap))
        return std::nullopt;
    return option;
}

QString readString(SANE_Handle handle, const Option &option)
{
    std::vector<char> buffer(size_t(std::max<SANE_Int>(option.descriptor->size, 1)) + 1, '\0');
    if (sane_control_option(handle, option.index, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) != SANE_STATUS_GOOD)
        return {};
    return QString::fromLocal8Bit(buffer.data());
}

QStringList stringList(const SANE_Option_Descriptor *d)
{
    QStringList values;
    if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST)
        for (const SANE_String_Const *s = d->constraint.string_list; s && *s; ++s)
            values.append(QString::fromLocal8Bit(*s));
    return values;
}

// The choices of a string option and its value now; nothing when the device has none.
std::pair<QStringList, QString> readChoice(SANE_Handle handle, const char *name)
{
    const auto option = activeStringOption(handle, name);
    if (!option)
        return {};
    return {stringList(option->descriptor), readString(handle, *option)};
}

void setString(SANE_Handle handle, const char *name, const QString &value)
{
    if (value.isEmpty())
        return;
    const auto option = findOption(handle, name);
    if (!option || option->descriptor->type != SANE_TYPE_STRING || !isUsable(option->descriptor))
        return;
    std::vector<char> buffer(size_t(std::max<SANE_Int>(option->descriptor->size, 1)), '\0');
    const QByteArray wanted = value.toLocal8Bit();
    std::strncpy(buffer.data(), wanted.constData(), buffer.size() - 1);
    const SANE_Status status = sane_control_option(handle, option->index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr);
    if (status != SANE_STATUS_GOOD)
        qCWarning(lcScan) << name << value << "refused:" << statusText(status);
}

// The resolutions the device offers as it is set now, and the one it is set to.
std::pair<QList<int>, int> readResolutions(SANE_Handle handle)
{
    const auto res = findOption(handle, SANE_NAME_SCAN_RESOLUTION);
    if (!res || !isScalarNumber(res->descriptor) || !SANE_OPTION_IS_ACTIVE(res->descriptor->cap))
        return {};
    const SANE_Option_Descriptor *d = res->descriptor;
    QList<int> resolutions;
    if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
        const SANE_Word *list = d->constraint.word_list;
        for (SANE_Word i = 1; list && i <= list[0]; ++i)
            resolutions.append(wordToDpi(d, list[i]));
    } else if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
        const int low = wordToDpi(d, d->constraint.range->min);
        const int high = wordToDpi(d, d->constraint.range->max);
        for (int dpi : {75, 100, 150, 200, 300, 400, 600, 1200})
            if (dpi >= low && dpi <= high)
                resolutions.append(dpi);
    }
    int current = 0;
    SANE_Word word = 0;
    if (sane_control_option(handle, res->index, SANE_ACTION_GET_VALUE, &word, nullptr) == SANE_STATUS_GOOD) {
        current = wordToDpi(d, word);
        if (current > 0 && !resolutions.contains(current))
            resolutions.append(current);
    }
    std::sort(resolutions.begin(), resolutions.end());
    return {resolutions, current};
}

void setResolution(SANE_Handle handle, int dpi)
{
    if (dpi <= 0)
        return;
    const auto res = findOption(handle, SANE_NAME_SCAN_RESOLUTION);
    if (!res || !isScalarNumber(res->descriptor) || !isUsable(res->descriptor))
        return;
    SANE_Word word = res->descriptor->type == SANE_TYPE_FIXED ? SANE_FIX(dpi) : SANE_Word(dpi);
    const SANE_Status status = sane_control_option(handle, res->index, SANE_ACTION_SET_VALUE, &word, nullptr);
    if (status != SANE_STATUS_GOOD)
        qCWarning(lcScan) << "resolution" << dpi << "refused:" << statusText(status);
}

QString failure(const QString &what, SANE_Status status)
{
    return what + u": "_s + statusText(status);
}

} // namespace

QList<ScanSource> findDevices()
{
    QList<ScanSource> found;
    const SANE_Device **devices = nullptr;
    if (sane_get_devices(&devices, SANE_FALSE) != SANE_STATUS_GOOD || !devices)
        return found;
    for (const SANE_Device **d = devices; *d; ++d)
        found.append({QString::fromLocal8Bit((*d)->name), QString::fromLocal8Bit((*d)->vendor),
                      QString::fromLocal8Bit((*d)->model), QString::fromLocal8Bit((*d)->type)});
    return found;
}

// ---------------------------------------------------------------- ScanControl

void ScanControl::cancelNow()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    if (m_handle)
        sane_cancel(handleOf(m_handle));
}

void ScanControl::attach(void *handle)
{
    std::lock_guard lock(m_mutex);
    m_handle = handle;
}

void ScanControl::detach()
{
    std::lock_guard lock(m_mutex);
    m_handle = nullptr;
}

// ---------------------------------------------------------------- SaneSession

SaneSession::SaneSession(const QString &device, ScanControl *control)
    : m_control(control ? control : &m_ownControl)
{
    SANE_Handle handle = nullptr;
    const QByteArray name = device.toLocal8Bit();
    const SANE_Status status = sane_open(name.constData(), &handle);
    if (status != SANE_STATUS_GOOD)
        throw ScanError(ScanError::Kind::Device, failure(u"Não foi possível abrir o scanner %1"_s.arg(device), status));
    m_handle = handle;
    m_control->attach(m_handle);
}

SaneSession::~SaneSession()
{
    m_control->detach();
    if (m_scanning)
        sane_cancel(handleOf(m_handle));
    sane_close(handleOf(m_handle));
}

DeviceOptions SaneSession::options()
{
    const SANE_Handle handle = handleOf(m_handle);
    DeviceOptions options;
    std::tie(options.sources, options.currentSource) = readChoice(handle, SANE_NAME_SCAN_SOURCE);
    std::tie(options.modes, options.currentMode) = readChoice(handle, SANE_NAME_SCAN_MODE);
    const auto mode = findOption(handle, SANE_NAME_SCAN_MODE);
    const bool modeSettable = mode && mode->descriptor->type == SANE_TYPE_STRING && isUsable(mode->descriptor);
    if (options.modes.isEmpty() || !modeSettable) {
        std::tie(options.resolutionsByMode[options.currentMode], options.currentResolution) = readResolutions(handle);
        return options;
    }
    const int resolutionNow = readResolutions(handle).second;
    for (const QString &each : std::as_const(options.modes)) {
        setString(handle, SANE_NAME_SCAN_MODE, each);
        options.resolutionsByMode[each] = readResolutions(handle).first;
    }
    setString(handle, SANE_NAME_SCAN_MODE, options.currentMode);
    setResolution(handle, resolutionNow);
    options.currentResolution = readResolutions(handle).second;
    return options;
}

void SaneSession::apply(const ScanSettings &settings)
{
    const SANE_Handle handle = handleOf(m_handle);
    setString(handle, SANE_NAME_SCAN_SOURCE, settings.source);
    setString(handle, SANE_NAME_SCAN_MODE, settings.mode);
    setResolution(handle, settings.resolution);
}

// Non-blocking with the select descriptor where the backend offers both, so a cancel is
// noticed between reads even when no data comes.
int SaneSession::readFrame(ImageBuilder &builder)
{
    const SANE_Handle handle = handleOf(m_handle);
    bool nonBlocking = sane_set_io_mode(handle, SANE_TRUE) == SANE_STATUS_GOOD;
    SANE_Int fd = -1;
    if (nonBlocking && sane_get_select_fd(handle, &fd) != SANE_STATUS_GOOD) {
        sane_set_io_mode(handle, SANE_FALSE);
        nonBlocking = false;
    }
    std::vector<SANE_Byte> buffer(64 * 1024);
    for (;;) {
        if (m_control->isCancelled())
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
        builder.append(buffer.data(), length);
        m_control->bytesRead += length;
    }
}

SaneSession::Read SaneSession::readPage()
{
    const SANE_Handle handle = handleOf(m_handle);
    ImageBuilder builder;
    m_control->bytesRead = 0;
    m_control->bytesExpected = 0;
    bool started = false;
    for (;;) {
        if (m_control->isCancelled())
            return {};
        SANE_Status status = sane_start(handle);
        m_scanning = true;
        if (status == SANE_STATUS_NO_DOCS && !started)
            return {Outcome::FeederEmpty, {}};
        if (status == SANE_STATUS_CANCELLED || m_control->isCancelled())
            return {};
        if (status != SANE_STATUS_GOOD)
            throw ScanError(ScanError::Kind::Device, failure(u"O scanner não iniciou a leitura"_s, status));
        started = true;
        SANE_Parameters parameters{};
        status = sane_get_parameters(handle, &parameters);
        if (status != SANE_STATUS_GOOD)
            throw ScanError(ScanError::Kind::Device, failure(u"O scanner não informou o formato da imagem"_s, status));
        builder.beginFrame(parameters);
        m_control->bytesExpected = builder.expectedBytes();
        status = SANE_Status(readFrame(builder));
        if (status == SANE_STATUS_CANCELLED || m_control->isCancelled())
            return {};
        if (status != SANE_STATUS_GOOD)
            throw ScanError(ScanError::Kind::Read, failure(u"A leitura da página falhou"_s, status));
        if (builder.isWhole())
            break;
    }
    return {Outcome::Page, builder.finish()};
}

void SaneSession::endScan()
{
    if (!m_scanning)
        return;
    m_scanning = false;
    sane_cancel(handleOf(m_handle));
}

} // namespace scan
