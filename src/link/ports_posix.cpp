// POSIX port listing: the ttys sysfs lists under class/tty, described from their USB device or
// driver, each opened once without blocking to learn whether it is free.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "link/ports.h"

namespace fs = std::filesystem;

namespace h8 {

namespace {

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The first line of a sysfs attribute without trailing blanks; "" when it is absent.
std::string readAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

// The last part of where a device directory's link `link` (`driver`, `subsystem`) points; ""
// when there is no such link.
std::string linkName(const fs::path& device, const char* link) {
  std::error_code ec;
  fs::path target = fs::read_symlink(device / link, ec);
  return ec ? "" : target.filename().string();
}

void append(std::string& text, const std::string& part) {
  if (part.empty()) return;
  if (!text.empty()) text += ' ';
  text += part;
}

// What sysfs tells of a tty's hardware. A USB port's device directory (the interface, or the
// usb-serial port below it) lies under the USB device's, which holds idVendor and idProduct.
std::string describe(const fs::path& tty) {
  std::error_code ec;
  fs::path device = fs::canonical(tty / "device", ec);
  if (ec) return "";
  std::string text;
  for (fs::path p = device; p.has_relative_path(); p = p.parent_path()) {
    if (!fs::exists(p / "idVendor", ec)) continue;
    append(text, readAttribute(p / "manufacturer"));
    append(text, readAttribute(p / "product"));
    append(text, "(" + readAttribute(p / "idVendor") + ":" + readAttribute(p / "idProduct") + ")");
    std::string serial = readAttribute(p / "serial");
    if (!serial.empty()) append(text, "serial " + serial);
    break;
  }
  // Since Linux 6.5 a UART's tty hangs below two serial-base devices (drivers "port" and
  // "ctrl"); the driver worth naming is the one above them.
  while (linkName(device, "subsystem") == "serial-base" && device.has_relative_path())
    device = device.parent_path();
  std::string driver = linkName(device, "driver");
  if (!driver.empty()) text += (text.empty() ? "driver " : ", driver ") + driver;
  return text;
}

// Opens the node without waiting for a carrier and closes it at once; the terminal settings
// are not touched. A node another program holds with flock, or opened
// with TIOCEXCL, is busy.
std::string portState(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case EBUSY:
        return kPortBusy;
      case EACCES:
        return "permission denied (add yourself to the dialout group)";
      case ENOENT:
        return "no device node";
      default:
        return strerror(errno);
    }
  }
  std::string state;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) state = errno == EWOULDBLOCK ? kPortBusy : strerror(errno);
  ::close(fd);
  return state;
}

}  // namespace

std::vector<PortInfo> listSerialPorts(const std::string& sysRoot, const std::string& devRoot) {
  std::vector<PortInfo> ports;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(sysRoot) / "class" / "tty", ec), end; !ec && it != end;
       it.increment(ec)) {
    const fs::path& tty = it->path();
    std::string name = tty.filename().string();
    // The kernel makes ttyS0.. whether or not a UART answers there: those without one have no
    // driver, or UART type 0 (unknown).
    bool wanted = startsWith(name, "ttyUSB") || startsWith(name, "ttyACM") ||
                  (startsWith(name, "ttyS") && !linkName(tty / "device", "driver").empty() &&
                   readAttribute(tty / "type") != "0");
    if (!wanted) continue;
    std::string device = (fs::path(devRoot) / name).string();
    ports.push_back({device, describe(tty), portState(device)});
  }
  std::sort(ports.begin(), ports.end(),
            [](const PortInfo& a, const PortInfo& b) { return naturalLess(a.device, b.device); });
  return ports;
}

}  // namespace h8
