#include "npl/platform/debug_output.h"

#include <mutex>

#include "npl/platform/system_debug_output.h"

namespace npl::platform {

namespace {
std::mutex routeMutex;
DebugOutputSink routeSink = nullptr;
void* routeContext = nullptr;
} // namespace

void WriteDebugOutput(const char* text)
{
    if (text == nullptr)
        return;
    DebugOutputSink sink;
    void* context;
    {
        std::lock_guard<std::mutex> guard(routeMutex);
        sink = routeSink;
        context = routeContext;
    }
    if (sink != nullptr)
        sink(text, context);
    else
        SystemWriteDebugOutput(text);
}

void SetDebugOutputSink(DebugOutputSink sink, void* context)
{
    std::lock_guard<std::mutex> guard(routeMutex);
    routeSink = sink;
    routeContext = context;
}

} // namespace npl::platform
