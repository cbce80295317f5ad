#pragma once

#include <new>
#include <utility>

#include "splash/gdiplus_include.h"

// A GDI+ wrapper object (Bitmap, Font, ...) made on the GDI+ heap, or null
// when that heap is exhausted. The wrappers' own operator new returns null
// then instead of throwing, so a plain new-expression would construct the
// object at address zero. Release the result with delete, as usual.
template <typename T, typename... Args>
T* NewGdiplusObject(Args&&... args) {
  void* storage = Gdiplus::DllExports::GdipAlloc(sizeof(T));
  if (storage == nullptr) return nullptr;
  return ::new (storage) T(std::forward<Args>(args)...);
}
