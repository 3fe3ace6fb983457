// Win32 port listing: the COM names the serial drivers register under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, described by SetupAPI's entries for the Ports class.
#include <windows.h>
// setupapi.h needs windows.h first.
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "link/ports.h"
#include "link/serial.h"

namespace h8 {

namespace {

// The Ports (COM & LPT) device class, {4D36E978-E325-11CE-BFC1-08002BE10318}.
const GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// A string the registry stores, cut at its first NUL (registry data need not end with one).
std::string registryText(const char* data, DWORD size) {
  std::string text(data, size);
  return text.substr(0, text.find('\0'));
}

// A device's string property; the first string of a multi-string; "" when it has none.
std::string deviceProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
  char data[512];
  DWORD size = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(set, &info, property, nullptr,
                                         reinterpret_cast<BYTE*>(data), sizeof data, &size))
    return "";
  return registryText(data, std::min<DWORD>(size, sizeof data));
}

// COM name -> description, for the ports present: the friendly name without its " (COMn)"
// ending, and a USB adapter's vendor and product numbers from its hardware id
// ("USB\VID_0403&PID_6001" or "FTDIBUS\COMPORT&VID_0403&PID_6001").
std::map<std::string, std::string> portDescriptions() {
  std::map<std::string, std::string> found;
  HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return found;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); i++) {
    HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    char data[64];
    DWORD type = 0, size = sizeof data;
    bool named = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(data),
                                  &size) == ERROR_SUCCESS &&
                 type == REG_SZ;
    RegCloseKey(key);
    if (!named) continue;
    std::string name = registryText(data, size);
    std::string text = deviceProperty(set, info, SPDRP_FRIENDLYNAME);
    std::string ending = " (" + name + ")";
    if (text.size() > ending.size() && text.ends_with(ending))
      text.resize(text.size() - ending.size());
    std::string id = deviceProperty(set, info, SPDRP_HARDWAREID);
    size_t vid = id.find("VID_"), pid = id.find("PID_");
    if (vid != std::string::npos && pid != std::string::npos && vid + 8 <= id.size() &&
        pid + 8 <= id.size()) {
      std::string numbers = "(" + id.substr(vid + 4, 4) + ":" + id.substr(pid + 4, 4) + ")";
      for (char& c : numbers) c = char(std::tolower(static_cast<unsigned char>(c)));
      text += (text.empty() ? "" : " ") + numbers;
    }
    found[name] = text;
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

// Opens the port as the serial binding does and closes it at once. Windows opens serial ports
// exclusively: one another program holds answers "access denied".
std::string portState(const std::string& name) {
  HANDLE h = CreateFileA(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return "";
  }
  DWORD e = GetLastError();
  return e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION ? kPortBusy : systemMessage(e);
}

}  // namespace

std::vector<PortInfo> listSerialPorts(const std::string&, const std::string&) {
  std::vector<std::string> names;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    for (DWORD i = 0;; i++) {
      char value[256], data[64];
      DWORD valueSize = sizeof value, type = 0, size = sizeof data;
      LONG r = RegEnumValueA(key, i, value, &valueSize, nullptr, &type,
                             reinterpret_cast<BYTE*>(data), &size);
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r == ERROR_SUCCESS && type == REG_SZ) names.push_back(registryText(data, size));
    }
    RegCloseKey(key);
  }
  std::sort(names.begin(), names.end(), naturalLess);
  std::map<std::string, std::string> descriptions = portDescriptions();
  std::vector<PortInfo> ports;
  for (const std::string& name : names) {
    if (name.empty()) continue;
    // COM1..COM9 as they stand; other names only in the device namespace (\\.\COM10).
    bool plain = name.size() == 4 && name.rfind("COM", 0) == 0;
    ports.push_back({plain ? name : "\\\\.\\" + name, descriptions[name], portState(name)});
  }
  return ports;
}

}  // namespace h8
