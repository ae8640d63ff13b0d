// The names of the appraisal link on the D-Bus session bus, shared by the client transport and
// by apx-sim. doc/dde_dbus.md describes the protocol for other implementations.
//
// A DDE service is served by the well-known bus name "dde." + the service name in upper case,
// with every byte outside A-Z, a-z, 0-9 (and a leading digit, which a bus name element may not
// start with) written as "_" and two upper-case hex digits: "APX" and "Apx" -> "dde.APX",
// "My App" -> "dde.MY_20APP". Upper case because DDE service names, like topics and items, match
// without regard to case, while bus names do not.
// The DDE topic is the first argument of each call (the part of LinkTopic after the "|").
#pragma once

#include <string>
#include <string_view>

namespace xfr::dde_bus {

inline constexpr char kObjectPath[] = "/dde/Conversation";
inline constexpr char kInterface[] = "dde.Conversation";

// Replies with these errors are refusals (285).
inline constexpr char kErrorItemRefused[] = "dde.Error.ItemRefused";
inline constexpr char kErrorPokeRefused[] = "dde.Error.PokeRefused";
inline constexpr char kErrorExecuteFailed[] = "dde.Error.ExecuteFailed";
// The server does not serve the topic: on Windows nobody would have answered the initiate (282).
inline constexpr char kErrorUnknownTopic[] = "dde.Error.UnknownTopic";

// The bus name that serves `service`, or "" when there can be none (empty service, or a name
// longer than the bus allows). A name returned here always passes IsValidBusName.
std::string BusNameForService(std::string_view service);

// True when `name` is a valid well-known bus name (two or more dot-separated elements of
// A-Z a-z 0-9 _ -, none empty or starting with a digit, at most 255 characters). libdbus aborts
// the process on a call to an invalid destination, so every name is checked before use.
bool IsValidBusName(std::string_view name);

// The run-time error number for a D-Bus error name: 285 for the refusals and for anything the
// server raised that is not listed here, 282 for a missing server or topic, 286 for no reply.
int ErrorNumberForDBusError(std::string_view error_name);

}  // namespace xfr::dde_bus
