// A SANE backend for tests that reports whatever frames it is told to, sound or not, so
// the scanner library can be shown data no real device sends on purpose. SANE's dll
// backend finds it as libsane-cartulofake.so.1 in a folder of LD_LIBRARY_PATH once
// dll.conf names "cartulofake". Its frames come from cartulofake.conf in SANE_CONFIG_DIR,
// one line per frame: format (gray, rgb, red, green, blue or a number), depth, pixels per
// line, bytes per line, lines, last frame (1 or 0), and optionally the status sane_read
// returns instead of data (JAMMED, NO_DOCS, COVER_OPEN, IO_ERROR, DEVICE_BUSY) and
// "fill=N", the value of every byte of the frame (0x80 otherwise). Each sane_start after a
// frame moves to the next one, as a feeder moves to its next sheet; sane_cancel goes back to
// the first. Options, when asked for: a line "source A|B" (the first is set), and a line
// "mode Gray:75,150|Color:100,200" (modes with the resolutions each offers; choosing a mode
// reloads the resolution option). It starts no thread, so a failure can come at any moment
// without racing a reader of its own.
#include <sane/sane.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct FakeFrame {
    SANE_Parameters parameters{};
    SANE_Status readStatus = SANE_STATUS_GOOD;
    int fill = 0x80;
};

// A string option with its list of values.
struct Choice {
    std::vector<std::string> values;
    std::vector<SANE_String_Const> list; // values' texts, then nullptr
    std::string current;
    SANE_Option_Descriptor descriptor{};

    void make(const char *name, const std::vector<std::string> &all)
    {
        values = all;
        list.clear();
        size_t longest = 1;
        for (const std::string &value : values) {
            list.push_back(value.c_str());
            longest = std::max(longest, value.size() + 1);
        }
        list.push_back(nullptr);
        current = values.empty() ? std::string() : values.front();
        descriptor = {name, name, name, SANE_TYPE_STRING, SANE_UNIT_NONE, SANE_Int(longest),
                      SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_STRING_LIST, {nullptr}};
        descriptor.constraint.string_list = list.data();
    }
};

struct FakeDevice {
    std::vector<FakeFrame> frames;
    size_t frame = 0;       // the frame sane_start began
    long long left = 0;     // bytes of it still to read
    bool scanning = false;
    bool open = false;
    SANE_Device device{"0", "Cartulo", "frames as told", "virtual device"};
    SANE_Option_Descriptor count{"", "Number of options", "", SANE_TYPE_INT, SANE_UNIT_NONE,
                                 sizeof(SANE_Word), SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_NONE, {nullptr}};
    Choice source;
    Choice mode;
    std::vector<std::vector<SANE_Word>> resolutions; // per mode: count, then the values
    SANE_Word resolution = 0;
    SANE_Option_Descriptor resolutionDescriptor{"resolution", "resolution", "resolution", SANE_TYPE_INT,
                                                SANE_UNIT_DPI, sizeof(SANE_Word),
                                                SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
                                                SANE_CONSTRAINT_WORD_LIST, {nullptr}};
    std::vector<const SANE_Option_Descriptor *> options; // from 1

    const std::vector<SANE_Word> &modeResolutions() const
    {
        const auto at = std::find(mode.values.begin(), mode.values.end(), mode.current);
        return resolutions[size_t(at - mode.values.begin())];
    }
};

FakeDevice &device()
{
    static FakeDevice fake; // one per process, as a backend's own state is
    return fake;
}

SANE_Frame formatNamed(const std::string &name)
{
    if (name == "gray") return SANE_FRAME_GRAY;
    if (name == "rgb") return SANE_FRAME_RGB;
    if (name == "red") return SANE_FRAME_RED;
    if (name == "green") return SANE_FRAME_GREEN;
    if (name == "blue") return SANE_FRAME_BLUE;
    return static_cast<SANE_Frame>(std::atoi(name.c_str()));
}

SANE_Status statusNamed(const std::string &name)
{
    if (name == "JAMMED") return SANE_STATUS_JAMMED;
    if (name == "NO_DOCS") return SANE_STATUS_NO_DOCS;
    if (name == "COVER_OPEN") return SANE_STATUS_COVER_OPEN;
    if (name == "DEVICE_BUSY") return SANE_STATUS_DEVICE_BUSY;
    return SANE_STATUS_IO_ERROR;
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        parts.push_back(part);
    return parts;
}

void readMode(FakeDevice &fake, const std::string &modes)
{
    std::vector<std::string> names;
    for (const std::string &each : split(modes, '|')) {
        const size_t colon = each.find(':');
        names.push_back(each.substr(0, colon));
        std::vector<SANE_Word> list{0};
        for (const std::string &dpi : split(each.substr(colon + 1), ','))
            list.push_back(std::atoi(dpi.c_str()));
        list[0] = SANE_Word(list.size() - 1);
        fake.resolutions.push_back(list);
    }
    fake.mode.make("mode", names);
    fake.resolutionDescriptor.constraint.word_list = fake.modeResolutions().data();
    fake.resolution = fake.modeResolutions()[1];
}

void readConfiguration(FakeDevice &fake)
{
    fake = FakeDevice{};
    const char *folder = std::getenv("SANE_CONFIG_DIR");
    std::ifstream conf(std::string(folder ? folder : ".") + "/cartulofake.conf");
    std::string line;
    while (std::getline(conf, line)) {
        if (line.rfind("source ", 0) == 0) {
            fake.source.make("source", split(line.substr(7), '|'));
            fake.options.push_back(&fake.source.descriptor);
            continue;
        }
        if (line.rfind("mode ", 0) == 0) {
            readMode(fake, line.substr(5));
            fake.options.push_back(&fake.mode.descriptor);
            fake.options.push_back(&fake.resolutionDescriptor);
            continue;
        }
        std::istringstream fields(line);
        std::string format;
        FakeFrame frame;
        SANE_Parameters &p = frame.parameters;
        int last = 1;
        if (fields >> format >> p.depth >> p.pixels_per_line >> p.bytes_per_line >> p.lines >> last) {
            p.format = formatNamed(format);
            p.last_frame = last ? SANE_TRUE : SANE_FALSE;
            for (std::string extra; fields >> extra;) {
                if (extra.rfind("fill=", 0) == 0)
                    frame.fill = std::atoi(extra.c_str() + 5);
                else
                    frame.readStatus = statusNamed(extra);
            }
            fake.frames.push_back(frame);
        }
    }
}

SANE_Status controlString(Choice &choice, SANE_Action action, void *value)
{
    if (action == SANE_ACTION_GET_VALUE) {
        std::strcpy(static_cast<char *>(value), choice.current.c_str());
        return SANE_STATUS_GOOD;
    }
    const std::string wanted(static_cast<const char *>(value));
    if (std::find(choice.values.begin(), choice.values.end(), wanted) == choice.values.end())
        return SANE_STATUS_INVAL;
    choice.current = wanted;
    return SANE_STATUS_GOOD;
}

long long frameBytes(const SANE_Parameters &p)
{
    const long long lines = p.lines < 0 ? 5 : p.lines; // a hand scanner's page ends after 5
    return lines * (p.bytes_per_line > 0 ? p.bytes_per_line : 0);
}

} // namespace

extern "C" {

SANE_Status sane_cartulofake_init(SANE_Int *version, SANE_Auth_Callback)
{
    if (version)
        *version = SANE_VERSION_CODE(1, 0, 0);
    readConfiguration(device());
    return SANE_STATUS_GOOD;
}

void sane_cartulofake_exit() {}

SANE_Status sane_cartulofake_get_devices(const SANE_Device ***list, SANE_Bool)
{
    static const SANE_Device *devices[] = {&device().device, nullptr};
    *list = devices;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_cartulofake_open(SANE_String_Const, SANE_Handle *handle)
{
    device().open = true;
    device().frame = 0;
    *handle = &device();
    return SANE_STATUS_GOOD;
}

void sane_cartulofake_close(SANE_Handle)
{
    device().open = false;
}

const SANE_Option_Descriptor *sane_cartulofake_get_option_descriptor(SANE_Handle, SANE_Int option)
{
    FakeDevice &fake = device();
    if (option == 0)
        return &fake.count;
    if (option < 0 || size_t(option) > fake.options.size())
        return nullptr;
    return fake.options[size_t(option) - 1];
}

SANE_Status sane_cartulofake_control_option(SANE_Handle, SANE_Int option, SANE_Action action, void *value, SANE_Int *info)
{
    FakeDevice &fake = device();
    if (info)
        *info = 0;
    if (action != SANE_ACTION_GET_VALUE && action != SANE_ACTION_SET_VALUE)
        return SANE_STATUS_INVAL;
    if (option == 0) {
        if (action != SANE_ACTION_GET_VALUE)
            return SANE_STATUS_INVAL;
        *static_cast<SANE_Word *>(value) = SANE_Word(fake.options.size() + 1);
        return SANE_STATUS_GOOD;
    }
    const SANE_Option_Descriptor *d = sane_cartulofake_get_option_descriptor(nullptr, option);
    if (!d)
        return SANE_STATUS_INVAL;
    if (d == &fake.source.descriptor)
        return controlString(fake.source, action, value);
    if (d == &fake.mode.descriptor) {
        const SANE_Status status = controlString(fake.mode, action, value);
        if (status == SANE_STATUS_GOOD && action == SANE_ACTION_SET_VALUE) {
            const std::vector<SANE_Word> &list = fake.modeResolutions();
            fake.resolutionDescriptor.constraint.word_list = list.data();
            if (std::find(list.begin() + 1, list.end(), fake.resolution) == list.end())
                fake.resolution = list[1];
            if (info)
                *info |= SANE_INFO_RELOAD_OPTIONS | SANE_INFO_RELOAD_PARAMS;
        }
        return status;
    }
    auto *word = static_cast<SANE_Word *>(value);
    if (action == SANE_ACTION_GET_VALUE) {
        *word = fake.resolution;
        return SANE_STATUS_GOOD;
    }
    const std::vector<SANE_Word> &list = fake.modeResolutions();
    if (std::find(list.begin() + 1, list.end(), *word) == list.end())
        return SANE_STATUS_INVAL;
    fake.resolution = *word;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_cartulofake_get_parameters(SANE_Handle, SANE_Parameters *params)
{
    FakeDevice &fake = device();
    if (fake.frames.empty())
        return SANE_STATUS_INVAL;
    *params = fake.frames[std::min(fake.frame, fake.frames.size() - 1)].parameters;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_cartulofake_start(SANE_Handle)
{
    FakeDevice &fake = device();
    if (fake.scanning)
        ++fake.frame;
    if (fake.frame >= fake.frames.size())
        return SANE_STATUS_NO_DOCS;
    fake.scanning = true;
    fake.left = frameBytes(fake.frames[fake.frame].parameters);
    return SANE_STATUS_GOOD;
}

SANE_Status sane_cartulofake_read(SANE_Handle, SANE_Byte *data, SANE_Int max, SANE_Int *length)
{
    FakeDevice &fake = device();
    *length = 0;
    if (!fake.scanning)
        return SANE_STATUS_INVAL;
    if (const SANE_Status status = fake.frames[fake.frame].readStatus; status != SANE_STATUS_GOOD)
        return status;
    if (fake.left <= 0)
        return SANE_STATUS_EOF;
    const SANE_Int n = SANE_Int(std::min<long long>(max, fake.left));
    std::memset(data, fake.frames[fake.frame].fill, size_t(n));
    fake.left -= n;
    *length = n;
    return SANE_STATUS_GOOD;
}

void sane_cartulofake_cancel(SANE_Handle)
{
    device().scanning = false;
    device().frame = 0;
}

SANE_Status sane_cartulofake_set_io_mode(SANE_Handle, SANE_Bool nonBlocking)
{
    return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_cartulofake_get_select_fd(SANE_Handle, SANE_Int *)
{
    return SANE_STATUS_UNSUPPORTED;
}

} // extern "C"
