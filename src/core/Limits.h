#pragma once

// Limits that every setting of the program shares, written once.
namespace limits {

// The longest time-out any setting accepts, in milliseconds (one hour).
inline constexpr int LongestTimeoutMs = 3600000;
// The highest TCP or UDP port number.
inline constexpr int PortMax = 65535;
// The highest value of one octet (SMPP version, TON and NPI).
inline constexpr int OctetMax = 255;

} // namespace limits
