// The DirectShow source filter framework: COM objects and the server, filters and pins,
// the output pin's allocator and the streaming source.
#pragma once

#include "BCBaseFilter.h"
#include "BCBasePin.h"
#include "BCClassFactory.h"
#include "BCEnumerators.h"
#include "BCGuard.h"
#include "BCMediaType.h"
#include "BCObject.h"
#include "BCOutputPin.h"
#include "BCSource.h"
#include "BCThread.h"
