#include "client/winserialline.h"

namespace {

// The longest a closing line waits for replies still on their way out.
constexpr int kCloseDrainMs = 500;
// A read ends at this pause in what comes (five characters' time at 9600 baud), so a short
// request is handed on at once and a long one in few pieces.
constexpr DWORD kReadPauseMs = 5;

BYTE parity(char letter) {
    switch (letter) {
    case 'E':
        return EVENPARITY;
    case 'O':
        return ODDPARITY;
    case 'M':
        return MARKPARITY;
    case 'S':
        return SPACEPARITY;
    default:
        return NOPARITY;
    }
}

// "COM3" as a device path; "COM10" and above are reachable only that way.
std::wstring devicePath(const QString &name) {
    const QString path = name.startsWith(QLatin1String("\\\\.\\")) ? name : "\\\\.\\" + name;
    return path.toStdWString();
}

} // namespace

std::unique_ptr<SerialLine> SerialLine::create(const QString &name,
                                               const SerialSettings &settings) {
    return std::make_unique<WinSerialLine>(name, settings);
}

WinSerialLine::WinSerialLine(const QString &name, const SerialSettings &settings)
    : SerialLine(name, device_), settings_(settings) {
    connect(&device_, &WinSerialDevice::failed, this, &SerialLine::lost);
}

bool WinSerialLine::open() {
    const HANDLE port = CreateFileW(devicePath(name()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE || !configure(port)) {
        errorString_ = qt_error_string(int(GetLastError()));
        if (port != INVALID_HANDLE_VALUE) {
            CloseHandle(port);
        }
        return false;
    }
    device_.start(port);
    return true;
}

bool WinSerialLine::configure(HANDLE port) {
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(port, &line)) {
        return false;
    }
    const bool rtsCts = settings_.flow == SerialSettings::Flow::RtsCts;
    const bool xonXoff = settings_.flow == SerialSettings::Flow::XonXoff;
    line.BaudRate = DWORD(settings_.baud);
    line.ByteSize = BYTE(settings_.dataBits);
    line.Parity = parity(settings_.parity);
    line.fParity = settings_.parity != 'N';
    line.StopBits = settings_.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    // Every byte as it comes, NUL and line errors included: host mode is binary.
    line.fBinary = TRUE;
    line.fNull = FALSE;
    line.fErrorChar = FALSE;
    line.fAbortOnError = FALSE;
    // DTR held up says a KAM is there; DSR is only looked at, never a condition to send.
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fOutxDsrFlow = FALSE;
    line.fDsrSensitivity = FALSE;
    line.fOutxCtsFlow = rtsCts;
    line.fRtsControl = rtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    line.fOutX = xonXoff;
    line.fInX = xonXoff;
    line.XonChar = 0x11;
    line.XoffChar = 0x13;
    // A read waits as long as nothing comes, then ends at the first pause; writes never time
    // out. (The "return at the first byte" setting is not kept by Wine, and a pause works on
    // every system.)
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadPauseMs;
    return SetCommState(port, &line) && SetCommTimeouts(port, &timeouts);
}

std::optional<bool> WinSerialLine::dataSetReady() {
    DWORD status = 0;
    if (!device_.isOpen() || !GetCommModemStatus(device_.handle(), &status)) {
        return std::nullopt;
    }
    return (status & MS_DSR_ON) != 0;
}

void WinSerialLine::close() {
    while (device_.bytesToWrite() > 0 && device_.waitForBytesWritten(kCloseDrainMs)) {
    }
    device_.close();
}
