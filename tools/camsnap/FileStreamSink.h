// camsnap's file sink for the AVI mux: a filter with one input pin that takes a byte stream
// (MEDIATYPE_Stream) and offers IStream on that pin, writing to one file.
//
// It stands in for a platform file writer whose input pin offers IStream. The mux writes its
// file through the downstream pin's IStream (header, chunks, and on Stop the index and the
// final sizes, seeking back over what it wrote); Wine's own file writer takes only samples,
// so the mux refuses to pause in front of it. Samples that arrive through IMemInputPin are
// written too, at the byte offset their start time carries, as a file writer would.
//
// The file is created (truncated) when the filter pauses and stays open until the filter is
// released: the graph stops the sink before the mux, and the mux still writes on its Stop.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>

namespace camsnap {

HRESULT CreateFileStreamSink(const std::wstring& path, Microsoft::WRL::ComPtr<IBaseFilter>& filter);

}  // namespace camsnap
