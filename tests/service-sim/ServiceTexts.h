#pragma once

// The texts the client searches for, written out here independently of the
// service's own pages, so that a typo there fails the tests.
namespace simtest {

inline constexpr const char* NotFoundText = "The file could not be found.";
inline constexpr const char* FreeFormMarker = "<form id=\"ff\" action=\"";
inline constexpr const char* WaitText = "Or try again in about ";
inline constexpr const char* IpBusyText = "is already downloading a file.";
inline constexpr const char* OverloadedText = "Currently a lot of users are downloading files.";
inline constexpr const char* FinalFormMarker = "'<form name=\"dlf\" action=\"";
inline constexpr const char* CountdownVar = "var c=";

} // namespace simtest
