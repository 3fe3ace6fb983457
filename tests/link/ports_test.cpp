#include "link/ports.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#endif

using namespace h8;

namespace {

TEST(SerialPorts, PrintsOneLineAPortWithTheDevicesInOneColumn) {
  struct Case {
    std::vector<PortInfo> ports;
    const char* printed;
  } cases[] = {
      {{}, "No serial port found\n"},
      {{{"/dev/ttyUSB0", "", ""}}, "/dev/ttyUSB0\n"},
      {{{"COM3", "USB Serial Port (0403:6001)", ""}, {R"(\\.\COM10)", "", "busy (in use)"}},
       "COM3       USB Serial Port (0403:6001)\n"
       R"(\\.\COM10  [busy (in use)])"
       "\n"},
      {{{"/dev/ttyS0", "driver serial", ""},
        {"/dev/ttyACM0", "Pico (2e8a:000a)", "no device node"}},
       "/dev/ttyS0    driver serial\n"
       "/dev/ttyACM0  Pico (2e8a:000a)  [no device node]\n"},
  };
  for (const Case& c : cases) {
    StringOutput out;
    printSerialPorts(c.ports, out);
    EXPECT_EQ(out.text, c.printed);
  }
}

#ifndef _WIN32
namespace fs = std::filesystem;

// A fake sysfs and /dev in a temporary directory, laid out as the kernel lays out the real ones:
// class/tty/NAME links to the tty's directory under devices/, whose `device` link leads back up
// to the hardware's directory, whose `driver` link names its driver.
class FakeTree {
 public:
  FakeTree() {
    std::string pattern = (fs::temp_directory_path() / "h8ports-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    fs::create_directories(root_ / "sys/class/tty");
    fs::create_directories(root_ / "dev");
  }
  ~FakeTree() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void file(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
  }
  // A USB device directory (under sys/devices/) with its id and name files; "" leaves one out.
  void usbDevice(const std::string& dir, const char* vid, const char* pid, const char* maker,
                 const char* product, const char* serial) {
    const std::pair<const char*, const char*> files[] = {{"idVendor", vid},
                                                         {"idProduct", pid},
                                                         {"manufacturer", maker},
                                                         {"product", product},
                                                         {"serial", serial}};
    for (auto [name, text] : files)
      if (*text) file(sys() / "devices" / dir / name, text);
  }
  // A tty NAME whose hardware is sys/devices/DEVICE ("" for none), bound to DRIVER.
  void tty(const std::string& name, const std::string& device, const std::string& driver,
           const char* type = nullptr) {
    fs::path hardware = sys() / "devices" / (device.empty() ? "virtual" : device);
    fs::path dir = hardware / "tty" / name;
    fs::create_directories(dir);
    fs::create_directory_symlink(fs::relative(dir, sys() / "class/tty"),
                                 sys() / "class/tty" / name);
    if (!device.empty()) fs::create_directory_symlink(fs::relative(hardware, dir), dir / "device");
    if (!driver.empty() && !fs::is_symlink(hardware / "driver"))
      link(fs::relative(hardware / "driver", sys() / "devices").string(), "bus/drivers/" + driver);
    if (type) file(dir / "type", type);
  }

  // A relative link sys/devices/PATH -> sys/TARGET (`driver`, `subsystem`); TARGET need not exist.
  void link(const std::string& path, const std::string& target) {
    fs::path at = sys() / "devices" / path;
    fs::create_directory_symlink(fs::relative(sys() / target, at.parent_path()), at);
  }

  fs::path sys() const { return root_ / "sys"; }
  fs::path dev() const { return root_ / "dev"; }

 private:
  fs::path root_;
};

// The ports listed from a tree with USB adapters, a CDC device, one real UART among phantom
// ones and ttys that are no serial ports; their device nodes show each state the listing gives.
TEST(SerialPorts, ListsTheSerialPortsOfAFakeTreeInNaturalOrderWithWhatIsKnown) {
  FakeTree t;
  const std::string usb = "pci0000:00/0000:00:14.0/usb1/";
  t.usbDevice(usb + "1-2", "0403", "6001", "FTDI", "FT232R USB UART", "A12345");
  t.tty("ttyUSB0", usb + "1-2/1-2:1.0/ttyUSB0", "ftdi_sio");
  t.usbDevice(usb + "1-3", "067b", "2303", "Prolific Technology Inc.", "USB-Serial Controller", "");
  t.tty("ttyUSB2", usb + "1-3/1-3:1.0/ttyUSB2", "pl2303");
  t.usbDevice(usb + "1-4", "1a86", "7523", "", "USB Serial", "");
  t.tty("ttyUSB10", usb + "1-4/1-4:1.0/ttyUSB10", "ch341-uart");
  t.usbDevice(usb + "1-5", "2341", "0043", "Arduino (www.arduino.cc)", "Arduino Uno", "");
  t.tty("ttyACM0", usb + "1-5/1-5:1.0", "cdc_acm");  // a CDC port's device is the interface
  // A UART as Linux 6.5 and later show it: the tty below a serial-base port and controller.
  const std::string uart = "pnp0/00:04";
  t.tty("ttyS0", uart + "/00:04:0/00:04:0.0", "port", "4");
  t.link(uart + "/00:04:0/00:04:0.0/subsystem", "bus/serial-base");
  t.link(uart + "/00:04:0/subsystem", "bus/serial-base");
  t.link(uart + "/00:04:0/driver", "bus/serial-base/drivers/ctrl");
  t.link(uart + "/driver", "bus/pnp/drivers/serial");
  for (const char* phantom : {"ttyS1", "ttyS2", "ttyS3"})
    t.tty(phantom, "platform/serial8250", "serial8250", "0");
  t.tty("ttyS4", "", "");  // no hardware at all
  t.tty("tty1", "", "");
  t.tty("console", "", "");

  // ttyUSB0 has no node; ttyUSB2's may not be opened; ttyUSB10's cannot be opened as a port.
  t.file(t.dev() / "ttyUSB2", "");
  fs::permissions(t.dev() / "ttyUSB2", fs::perms::none);
  fs::create_directory(t.dev() / "ttyUSB10");
  // ttyACM0's node is held by "another program" (flock), ttyS0's opens.
  t.file(t.dev() / "ttyACM0", "");
  t.file(t.dev() / "ttyS0", "");
  int held = open((t.dev() / "ttyACM0").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  // Root opens any file whatever its permissions.
  const char* denied =
      geteuid() == 0 ? "" : "permission denied (add yourself to the dialout group)";

  const std::string d = t.dev().string() + "/";
  const PortInfo expected[] = {
      {d + "ttyACM0", "Arduino (www.arduino.cc) Arduino Uno (2341:0043), driver cdc_acm",
       kPortBusy},
      {d + "ttyS0", "driver serial", ""},
      {d + "ttyUSB0", "FTDI FT232R USB UART (0403:6001) serial A12345, driver ftdi_sio",
       "no device node"},
      {d + "ttyUSB2", "Prolific Technology Inc. USB-Serial Controller (067b:2303), driver pl2303",
       denied},
      {d + "ttyUSB10", "USB Serial (1a86:7523), driver ch341-uart", strerror(EISDIR)},
  };
  std::vector<PortInfo> ports = listSerialPorts(t.sys().string(), t.dev().string());
  close(held);
  ASSERT_EQ(ports.size(), std::size(expected));
  for (size_t i = 0; i < ports.size(); i++) {
    EXPECT_EQ(ports[i].device, expected[i].device);
    EXPECT_EQ(ports[i].description, expected[i].description) << ports[i].device;
    EXPECT_EQ(ports[i].state, expected[i].state) << ports[i].device;
  }
  EXPECT_TRUE(listSerialPorts((t.sys() / "absent").string(), t.dev().string()).empty());
}
#endif

}  // namespace
