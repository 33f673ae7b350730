#include "BCSource.h"

#include "BCGuard.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>

// ---- the filter

TBCSource::TBCSource(const wchar_t* name, IUnknown* outer, REFCLSID classId)
    : TBCBaseFilter(name, outer, new TBCCritSec, classId) {}

TBCSource::~TBCSource() {
  // Each pin detaches itself while it is destroyed.
  while (!pins_.empty()) delete pins_.back();
}

void TBCSource::OnFinalRelease() {
  if (!IsStopped()) Stop();
}

HRESULT TBCSource::AttachPin(TBCSourceStream* pin) {
  if (!pin) return E_POINTER;
  TBCAutoLock lock(StateLock());
  pins_.push_back(pin);
  return S_OK;
}

HRESULT TBCSource::DetachPin(TBCSourceStream* pin) {
  auto it = std::find(pins_.begin(), pins_.end(), pin);
  if (it == pins_.end()) return S_FALSE;
  pins_.erase(it);
  return S_OK;
}

int TBCSource::PinCount() {
  TBCAutoLock lock(StateLock());
  return int(pins_.size());
}

TBCBasePin* TBCSource::PinAt(int n) {
  TBCAutoLock lock(StateLock());
  if (n < 0 || n >= int(pins_.size())) return nullptr;
  return pins_[size_t(n)];
}

int TBCSource::PinIndexOf(IPin* pin) {
  TBCAutoLock lock(StateLock());
  for (size_t i = 0; i < pins_.size(); ++i)
    if (pins_[i]->AsPin() == pin) return int(i);
  return -1;
}

namespace {

// "1", "2", ... read completely as a decimal number; anything else is a pin name.
bool ReadPinNumber(const wchar_t* id, long* value) {
  if (!*id) return false;
  wchar_t* end = nullptr;
  errno = 0;
  const long v = wcstol(id, &end, 10);
  if (*end != 0 || errno == ERANGE || std::iswspace(*id)) return false;
  *value = v;
  return true;
}

}  // namespace

STDMETHODIMP TBCSource::FindPin(LPCWSTR id, IPin** pin) {
  if (!pin) return E_POINTER;
  *pin = nullptr;
  if (!id) return E_POINTER;
  long number = 0;
  if (!ReadPinNumber(id, &number)) return TBCBaseFilter::FindPin(id, pin);
  return BCGuarded([&]() -> HRESULT {
    TBCBasePin* found = number >= 1 && number <= INT32_MAX ? PinAt(int(number - 1)) : nullptr;
    if (!found) return VFW_E_NOT_FOUND;
    *pin = found->AsPin();
    (*pin)->AddRef();
    return S_OK;
  });
}

// ---- the streaming pin

TBCSourceStream::TBCSourceStream(const wchar_t* objectName, HRESULT* result, TBCSource* owner,
                                 const wchar_t* pinName)
    : TBCBaseOutputPin(objectName, owner, owner ? owner->StateLock() : nullptr, pinName), owner_(owner) {
  worker_.SetProcedure(&TBCSourceStream::StreamLoopEntry, this);
  const HRESULT hr = owner_->AttachPin(this);
  if (result) *result = hr;
}

TBCSourceStream::~TBCSourceStream() {
  owner_->DetachPin(this);
  // A worker still running here would call into a pin that is half gone; its owner stops
  // the filter first, so this only joins a thread that has already been told to exit.
  if (worker_.HasThread()) {
    worker_.SendCommand(CMD_STOP);
    worker_.SendCommand(CMD_EXIT);
    worker_.JoinThread();
  }
}

DWORD TBCSourceStream::StreamLoopEntry(void* pin) { return static_cast<TBCSourceStream*>(pin)->RunStreamLoop(); }

STDMETHODIMP TBCSourceStream::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  *id = nullptr;
  const int index = owner_->PinIndexOf(AsPin());
  if (index < 0) return VFW_E_NOT_FOUND;
  const std::wstring text = std::to_wstring(index + 1);
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*id) return E_OUTOFMEMORY;
  memcpy(*id, text.c_str(), bytes);
  return S_OK;
}

HRESULT TBCSourceStream::ProposeType(int position, AM_MEDIA_TYPE* type) {
  TBCAutoLock lock(owner_->StateLock());
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return DefaultType(type);
}

HRESULT TBCSourceStream::AcceptType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  TBCAutoLock lock(owner_->StateLock());
  TBCScratchType own;
  if (DefaultType(own.Ptr()) != S_OK) return E_FAIL;
  return SameMediaType(own.Get(), *type) ? S_OK : E_FAIL;
}

HRESULT TBCSourceStream::GoActive() {
  TBCAutoLock lock(owner_->StateLock());
  if (!owner_->IsStopped()) return S_FALSE;
  if (!IsConnected()) return S_OK;
  HRESULT hr = TBCBaseOutputPin::GoActive();
  if (FAILED(hr)) return hr;
  // From here on a failure must give the allocator back, or a failed pause would leave
  // buffers committed behind a filter that still says stopped.
  auto undo = [&](HRESULT failure) {
    if (worker_.HasThread()) {
      worker_.SendCommand(CMD_EXIT);
      worker_.JoinThread();
    }
    TBCBaseOutputPin::GoInactive();
    return failure;
  };
  BCAssert(!worker_.HasThread());
  if (!worker_.StartThread()) return undo(E_FAIL);
  hr = worker_.SendCommand(CMD_INIT);
  if (FAILED(hr)) {
    // The worker ends itself after a failed init; only the join is left.
    worker_.JoinThread();
    return undo(hr);
  }
  hr = worker_.SendCommand(CMD_PAUSE);
  if (FAILED(hr)) return undo(hr);
  return hr;
}

HRESULT TBCSourceStream::GoInactive() {
  TBCAutoLock lock(owner_->StateLock());
  if (!IsConnected()) return S_OK;
  // Decommitting first releases a worker blocked waiting for an empty sample.
  HRESULT hr = TBCBaseOutputPin::GoInactive();
  if (FAILED(hr)) return hr;
  if (worker_.HasThread()) {
    hr = worker_.SendCommand(CMD_STOP);
    if (FAILED(hr)) return hr;
    hr = worker_.SendCommand(CMD_EXIT);
    if (FAILED(hr)) return hr;
    worker_.JoinThread();
  }
  return S_OK;
}

DWORD TBCSourceStream::RunStreamLoop() {
  for (;;) {
    const DWORD command = worker_.WaitCommand();
    if (command == CMD_INIT) break;
    worker_.AnswerCommand(E_UNEXPECTED);
  }
  HRESULT hr = BCGuarded([&] { return OnThreadCreate(); });
  if (FAILED(hr)) {
    BCGuarded([&] { return OnThreadEnd(); });
    worker_.AnswerCommand(hr);
    return 1;
  }
  worker_.AnswerCommand(S_OK);
  DWORD command;
  do {
    command = worker_.WaitCommand();
    switch (command) {
      case CMD_PAUSE:
      case CMD_RUN:
        worker_.AnswerCommand(S_OK);
        BCGuarded([&] { return PumpSamples(); });
        break;
      case CMD_STOP:
      case CMD_EXIT:
        worker_.AnswerCommand(S_OK);
        break;
      default:
        worker_.AnswerCommand(E_NOTIMPL);
        break;
    }
  } while (command != CMD_EXIT);
  return FAILED(BCGuarded([&] { return OnThreadEnd(); })) ? 1 : 0;
}

HRESULT TBCSourceStream::PumpSamples() {
  OnStreamStart();
  for (;;) {
    DWORD command;
    if (worker_.PeekCommand(&command)) {
      if (command == CMD_STOP) return S_FALSE;  // left for RunStreamLoop to answer
      worker_.AnswerCommand(command == CMD_PAUSE || command == CMD_RUN ? S_OK : E_UNEXPECTED);
      continue;
    }
    IMediaSample* sample = nullptr;
    if (FAILED(AcquireBuffer(&sample, nullptr, nullptr, 0)) || !sample) {
      Sleep(1);
      continue;
    }
    const HRESULT hr = BCGuarded([&] { return FillBuffer(sample); });
    if (hr == S_OK) {
      const HRESULT sent = SendSample(sample);
      sample->Release();
      if (sent != S_OK) return S_OK;
      continue;
    }
    sample->Release();
    SendEndOfStream();
    if (FAILED(hr)) {
      owner_->PostEvent(EC_ERRORABORT, hr, 0);
      return hr;
    }
    return S_OK;
  }
}
