// The Win32 side: COM ports through CreateFile, DCB and COMMTIMEOUTS, code
// page 936 through the system's converters, the form as a message box.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "portmap.h"
#include "system.h"

namespace smsdll::platform {

namespace {

constexpr UINT kGbk = 936;
constexpr DWORD kQuietMs = 10;
constexpr DWORD kSliceMs = 500;

std::string SystemText(DWORD code) {
  char* buffer = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n > 0 && buffer != nullptr ? std::string(buffer, n) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
    text.pop_back();
  return text + " (system error " + std::to_string(code) + ")";
}

DWORD Ms(Millis timeout) {
  long long ms = timeout.count();
  if (ms < 0) return 0;
  return static_cast<DWORD>(std::min<long long>(ms, MAXDWORD - 1));
}

class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(HANDLE h) : h_(h) {}
  ~Win32SerialPort() override { CloseHandle(h_); }

  Status Write(std::string_view data, Millis timeout) override {
    COMMTIMEOUTS t{};
    t.WriteTotalTimeoutConstant = Ms(timeout) == 0 ? 1 : Ms(timeout);
    if (!SetCommTimeouts(h_, &t))
      return {Error::kPortIo, "the port refuses its time-outs: " + SystemText(GetLastError())};
    while (!data.empty()) {
      DWORD written = 0;
      if (!WriteFile(h_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr))
        return {Error::kPortIo, "writing to the port failed: " + SystemText(GetLastError())};
      if (written == 0)
        return {Error::kPortIo,
                "the port took no output within " + std::to_string(timeout.count()) + " ms"};
      data.remove_prefix(written);
    }
    return {};
  }

  Status Read(std::string& out, Millis timeout) override {
    // Waits at most the timeout for the first byte, then returns once the
    // line has been quiet for kQuietMs (the end of the modem's burst). A zero
    // timeout returns at once with what is buffered. A line that hung up does
    // not fail ReadFile under every driver (Wine's COM port on a
    // pseudo-terminal waits out the whole time-out), so the wait goes in
    // slices of at most kSliceMs, and after an empty one ClearCommError tells
    // a line that is gone.
    const ULONGLONG deadline = GetTickCount64() + Ms(timeout);
    for (;;) {
      const ULONGLONG now = GetTickCount64();
      const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
      COMMTIMEOUTS t{};
      if (left > 0) {
        t.ReadIntervalTimeout = kQuietMs;
        t.ReadTotalTimeoutConstant = std::min(left, kSliceMs);
      } else {
        t.ReadIntervalTimeout = MAXDWORD;
      }
      if (!SetCommTimeouts(h_, &t))
        return {Error::kPortIo, "the port refuses its time-outs: " + SystemText(GetLastError())};
      char buf[4096];
      DWORD n = 0;
      if (!ReadFile(h_, buf, sizeof buf, &n, nullptr))
        return {Error::kPortIo, "reading from the port failed: " + SystemText(GetLastError())};
      out.append(buf, n);
      if (n > 0 || left == 0) return {};
      COMSTAT state{};
      DWORD errors = 0;
      if (!ClearCommError(h_, &errors, &state))
        return {Error::kPortIo, "the line hung up: " + SystemText(GetLastError())};
    }
  }

 private:
  HANDLE h_;
};

class Win32PortOpener final : public PortOpener {
 public:
  Status Resolve(int32_t port, std::string& path) override {
    return ResolvePortPath(
        port, ProcessPortMapSources([](int32_t n) { return "\\\\.\\COM" + std::to_string(n); }),
        path);
  }

  Status Open(const std::string& path, int32_t baud, std::unique_ptr<SerialPort>& port) override {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
      return {Error::kPortUnavailable, "cannot be opened: " + SystemText(GetLastError())};
    auto line = std::make_unique<Win32SerialPort>(h);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb))
      return {Error::kPortSetup, "is not a serial device: " + SystemText(GetLastError())};
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(h, &dcb))
      return {Error::kPortSetup,
              "refuses " + std::to_string(baud) + " bit/s, 8N1: " + SystemText(GetLastError())};
    SetupComm(h, 4096, 4096);
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    port = std::move(line);
    return {};
  }
};

class Win32Clock final : public Clock {
 public:
  Millis Now() override { return Millis(static_cast<long long>(GetTickCount64())); }
  LocalTime LocalNow() override {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  }
};

class Win32Codec final : public Codec {
 public:
  std::optional<std::u16string> GbkToUtf16(std::string_view gbk) override {
    if (gbk.empty()) return std::u16string();
    int n = MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data(),
                                static_cast<int>(gbk.size()), nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data(), static_cast<int>(gbk.size()),
                        wide.data(), n);
    return std::u16string(wide.begin(), wide.end());
  }

  std::string Utf16ToGbk(std::u16string_view text) override {
    if (text.empty()) return {};
    // GBK has nothing beyond the BMP: a surrogate pair (or a lone surrogate)
    // becomes one '?', where the system's converter would write two.
    std::wstring wide;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char16_t c = text[i];
      if (c >= 0xD800 && c <= 0xDFFF) {
        if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
          ++i;
        wide += L'?';
      } else {
        wide += static_cast<wchar_t>(c);
      }
    }
    int n = WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                "?", nullptr);
    if (n <= 0) return std::string(text.size(), '?');
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, "?",
                        nullptr);
    return out;
  }
};

}  // namespace

std::unique_ptr<PortOpener> MakePortOpener() {
  return std::make_unique<Win32PortOpener>();
}
std::unique_ptr<Clock> MakeClock() {
  return std::make_unique<Win32Clock>();
}
std::unique_ptr<Codec> MakeCodec() {
  return std::make_unique<Win32Codec>();
}

bool ShowForm(const std::string& text, int32_t owner_window) {
  const char* where = std::getenv("PROJSMSDLL_FORM");
  if (where != nullptr && std::string(where) == "stderr") {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    return true;
  }
  Win32Codec codec;
  auto wide = codec.GbkToUtf16(text).value_or(u"ProjSmsDLL");
  std::wstring body(wide.begin(), wide.end());
  HWND owner = reinterpret_cast<HWND>(static_cast<intptr_t>(owner_window));
  if (owner != nullptr && !IsWindow(owner)) owner = nullptr;
  return MessageBoxW(owner, body.c_str(), L"ProjSmsDLL", MB_OK | MB_ICONINFORMATION) != 0;
}

}  // namespace smsdll::platform
