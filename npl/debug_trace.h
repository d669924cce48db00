// The library's diagnostic trace: warning and failure texts are handed to it so that a
// developer build can watch them. The shipped library drops them.
#pragma once

/// Takes a zero-terminated 8-bit text (null allowed) and does nothing with it.
void DebugTrace(const char* text);
