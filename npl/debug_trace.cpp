#include "npl/debug_trace.h"

void DebugTrace(const char*) { }
