#include "BCBaseFilter.h"

#include "BCBasePin.h"
#include "BCClassFactory.h"
#include "BCEnumerators.h"
#include "BCGuard.h"

#include <cstring>

TBCBaseFilter::TBCBaseFilter(const wchar_t* name, IUnknown* outer, TBCCritSec* lock, REFCLSID classId)
    : TBCUnknown(name, outer), classId_(classId), filterLock_(lock) {
  BCAssert(lock != nullptr);
}

TBCBaseFilter::~TBCBaseFilter() {
  if (syncClock_) syncClock_->Release();
}

void* TBCBaseFilter::FindInterface(REFIID iid) {
  if (iid == IID_IAMovieSetup) return BCInterface<IAMovieSetup>(this);
  if (iid == IID_IBaseFilter) return BCInterface<IBaseFilter>(this);
  return TBCUnknown::FindInterface(iid);
}

STDMETHODIMP TBCBaseFilter::GetClassID(CLSID* classId) {
  if (!classId) return E_POINTER;
  *classId = classId_;
  return S_OK;
}

STDMETHODIMP TBCBaseFilter::Stop() {
  return BCGuarded([&]() -> HRESULT {
    TBCAutoLock lock(FilterLock());
    HRESULT first = S_OK;
    if (filterState_ != State_Stopped) {
      const int count = PinCount();
      for (int i = 0; i < count; ++i) {
        TBCBasePin* pin = PinAt(i);
        if (!pin || !pin->IsConnected()) continue;
        // Every pin must be told even when one fails, or a worker would be left running.
        HRESULT hr;
        try {
          hr = pin->GoInactive();
        } catch (...) {
          hr = E_FAIL;
        }
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
      }
    }
    filterState_ = State_Stopped;
    return first;
  });
}

STDMETHODIMP TBCBaseFilter::Pause() {
  return BCGuarded([&]() -> HRESULT {
    TBCAutoLock lock(FilterLock());
    if (filterState_ == State_Stopped) {
      const int count = PinCount();
      for (int i = 0; i < count; ++i) {
        TBCBasePin* pin = PinAt(i);
        if (!pin || !pin->IsConnected()) continue;
        const HRESULT hr = pin->GoActive();
        if (FAILED(hr)) {
          // Pins that already went active go back, so a failed pause leaves nothing
          // committed or running behind a filter that still says stopped.
          for (int j = 0; j < i; ++j)
            if (TBCBasePin* done = PinAt(j); done && done->IsConnected()) done->GoInactive();
          return hr;
        }
      }
    }
    filterState_ = State_Paused;
    return S_OK;
  });
}

STDMETHODIMP TBCBaseFilter::Run(REFERENCE_TIME start) {
  return BCGuarded([&]() -> HRESULT {
    TBCAutoLock lock(FilterLock());
    runStartTime_ = start;
    if (filterState_ == State_Stopped) {
      const HRESULT hr = Pause();
      if (FAILED(hr)) return hr;
    }
    if (filterState_ != State_Running) {
      const int count = PinCount();
      for (int i = 0; i < count; ++i) {
        TBCBasePin* pin = PinAt(i);
        if (!pin || !pin->IsConnected()) continue;
        const HRESULT hr = pin->OnRun(start);
        if (FAILED(hr)) return hr;
      }
    }
    filterState_ = State_Running;
    return S_OK;
  });
}

STDMETHODIMP TBCBaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = filterState_;
  return S_OK;
}

STDMETHODIMP TBCBaseFilter::SetSyncSource(IReferenceClock* clock) {
  TBCAutoLock lock(FilterLock());
  if (clock) clock->AddRef();
  if (syncClock_) syncClock_->Release();
  syncClock_ = clock;
  return S_OK;
}

STDMETHODIMP TBCBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  *clock = nullptr;
  TBCAutoLock lock(FilterLock());
  if (syncClock_) {
    syncClock_->AddRef();
    *clock = syncClock_;
  }
  return S_OK;
}

HRESULT TBCBaseFilter::CurrentStreamTime(REFERENCE_TIME* time) {
  if (!time) return E_POINTER;
  if (!syncClock_) return VFW_E_NO_CLOCK;
  REFERENCE_TIME now = 0;
  const HRESULT hr = syncClock_->GetTime(&now);
  if (FAILED(hr)) return hr;
  *time = now - runStartTime_;
  return hr;
}

STDMETHODIMP TBCBaseFilter::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  *pins = nullptr;
  return BCGuarded([&]() -> HRESULT {
    *pins = new (std::nothrow) TBCEnumPins(this, nullptr);
    return *pins ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP TBCBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!pin) return E_POINTER;
  *pin = nullptr;
  if (!id) return E_POINTER;
  return BCGuarded([&]() -> HRESULT {
    TBCAutoLock lock(FilterLock());
    const int count = PinCount();
    for (int i = 0; i < count; ++i) {
      TBCBasePin* candidate = PinAt(i);
      if (candidate && candidate->PinName() == id) {
        *pin = candidate->AsPin();
        (*pin)->AddRef();
        return S_OK;
      }
    }
    return VFW_E_NOT_FOUND;
  });
}

STDMETHODIMP TBCBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  memset(info, 0, sizeof *info);
  const size_t max = sizeof info->achName / sizeof info->achName[0] - 1;  // 127 and the terminator
  const size_t n = filterName_.size() < max ? filterName_.size() : max;
  memcpy(info->achName, filterName_.data(), n * sizeof(wchar_t));
  info->achName[n] = 0;
  info->pGraph = ownerGraph_;
  if (info->pGraph) info->pGraph->AddRef();
  return S_OK;
}

STDMETHODIMP TBCBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  return BCGuarded([&]() -> HRESULT {
    TBCAutoLock lock(FilterLock());
    ownerGraph_ = graph;
    eventSink_ = nullptr;
    if (graph) {
      IMediaEventSink* sink = nullptr;
      if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))) && sink) {
        // Kept without a reference: the graph holds us, and a reference back would be a cycle.
        eventSink_ = sink;
        sink->Release();
      }
    }
    filterName_ = name ? name : L"";
    return S_OK;
  });
}

STDMETHODIMP TBCBaseFilter::QueryVendorInfo(LPWSTR* info) { return E_NOTIMPL; }

HRESULT TBCBaseFilter::PostEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = eventSink_;
  if (!sink) return E_NOTIMPL;
  if (code != EC_COMPLETE) return sink->Notify(code, param1, param2);
  IBaseFilter* self = nullptr;
  if (FAILED(QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&self)))) self = nullptr;
  const HRESULT hr = sink->Notify(code, param1, reinterpret_cast<LONG_PTR>(self));
  if (self) self->Release();
  return hr;
}

HRESULT TBCBaseFilter::SetupRegistration(bool doRegister) {
  return BCGuarded([&]() -> HRESULT {
    TBCClassFactory* factory = TBCFilterTemplate::Instance().FactoryFor(classId_);
    if (!factory) return S_FALSE;
    TBCFilterMapper mapper;
    return SUCCEEDED(mapper.Register(*factory, doRegister)) ? S_OK : S_FALSE;
  });
}

STDMETHODIMP TBCBaseFilter::Register() { return SetupRegistration(true); }

STDMETHODIMP TBCBaseFilter::Unregister() { return SetupRegistration(false); }
