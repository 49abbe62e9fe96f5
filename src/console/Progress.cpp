#include "console/Progress.h"

namespace console {
namespace {

OutputSink*& Sink() {
    static OutputSink* sink = nullptr;
    return sink;
}

}  // namespace

void SetProgressSink(OutputSink* sink) { Sink() = sink; }

void Progress(std::wstring_view text) {
    if (Sink()) Sink()->Err(text);
}

}  // namespace console
