#include "platform/dbus/dde_bus.h"

#include "platform/runtime_error.h"

namespace xfr::dde_bus {
namespace {

bool IsAsciiAlnum(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string BusNameForService(std::string_view service) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (service.empty()) return "";
  std::string name = "dde.";
  for (size_t i = 0; i < service.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(service[i]);
    if (IsAsciiAlnum(c) && !(i == 0 && IsDigit(c))) {
      // DDE service names are case-insensitive: "Apx" is the service "APX".
      name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    } else {
      name += '_';
      name += kHex[c >> 4];
      name += kHex[c & 0xF];
    }
  }
  return IsValidBusName(name) ? name : "";
}

bool IsValidBusName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name[0] == ':' || name[0] == '.') return false;
  int elements = 0;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('.', start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view element = name.substr(start, end - start);
    if (element.empty() || IsDigit(static_cast<unsigned char>(element[0]))) return false;
    for (unsigned char c : element) {
      if (!IsAsciiAlnum(c) && c != '_' && c != '-') return false;
    }
    ++elements;
    start = end + 1;
  }
  return elements >= 2;
}

int ErrorNumberForDBusError(std::string_view error_name) {
  if (error_name == kErrorUnknownTopic ||
      error_name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
      error_name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
      error_name == "org.freedesktop.DBus.Error.Disconnected" ||
      error_name == "org.freedesktop.DBus.Error.NoServer" ||
      error_name == "org.freedesktop.DBus.Error.UnknownObject") {
    return kErrNoDdeServer;
  }
  if (error_name == "org.freedesktop.DBus.Error.NoReply" ||
      error_name == "org.freedesktop.DBus.Error.Timeout" ||
      error_name == "org.freedesktop.DBus.Error.TimedOut") {
    return kErrDdeTimeout;
  }
  return kErrDdeRefused;
}

}  // namespace xfr::dde_bus
