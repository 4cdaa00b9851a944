// A SANE backend for tests that reports whatever frames it is told to, sound or not, so
// the scanner library can be shown data no real device sends on purpose. SANE's dll
// backend finds it as libsane-cartulofake.so.1 in a folder of LD_LIBRARY_PATH once
// dll.conf names "cartulofake". Its frames come from cartulofake.conf in SANE_CONFIG_DIR,
// one line per frame: format (gray, rgb, red, green, blue or a number), depth, pixels per
// line, bytes per line, lines, last frame (1 or 0), and optionally the status sane_read
// returns instead of data (JAMMED, NO_DOCS, COVER_OPEN, IO_ERROR, DEVICE_BUSY). Every byte
// of a frame is 0x80. It starts no thread, so a failure can come at any moment without
// racing a reader of its own.
#include <sane/sane.h>

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

std::vector<FakeFrame> readFrames()
{
    std::vector<FakeFrame> frames;
    const char *folder = std::getenv("SANE_CONFIG_DIR");
    std::ifstream conf(std::string(folder ? folder : ".") + "/cartulofake.conf");
    std::string line;
    while (std::getline(conf, line)) {
        std::istringstream fields(line);
        std::string format;
        FakeFrame frame;
        SANE_Parameters &p = frame.parameters;
        int last = 1;
        if (fields >> format >> p.depth >> p.pixels_per_line >> p.bytes_per_line >> p.lines >> last) {
            p.format = formatNamed(format);
            p.last_frame = last ? SANE_TRUE : SANE_FALSE;
            if (std::string status; fields >> status)
                frame.readStatus = statusNamed(status);
            frames.push_back(frame);
        }
    }
    return frames;
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
    device().frames = readFrames();
    device().frame = 0;
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
    return option == 0 ? &device().count : nullptr;
}

SANE_Status sane_cartulofake_control_option(SANE_Handle, SANE_Int option, SANE_Action action, void *value, SANE_Int *)
{
    if (option != 0 || action != SANE_ACTION_GET_VALUE)
        return SANE_STATUS_INVAL;
    *static_cast<SANE_Word *>(value) = 1;
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
    std::memset(data, 0x80, size_t(n));
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
