// The debugger-output channel: diagnostics for a developer, never shown to a user.
#pragma once

namespace npl::platform {

using DebugOutputSink = void (*)(const char* text, void* context);

/// Sends a zero-terminated 8-bit text to the installed sink, or else to the system's channel
/// (Windows: the debugger output; POSIX: standard error when NPL_DEBUG_OUTPUT=stderr is set in
/// the environment, otherwise nowhere). Null is ignored.
void WriteDebugOutput(const char* text);

/// Routes all debug output to `sink` (null: back to the system channel). Tests use it to read
/// back what the library wrote.
void SetDebugOutputSink(DebugOutputSink sink, void* context);

} // namespace npl::platform
