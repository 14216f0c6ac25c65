// The platform's general string class.
#pragma once

#include "QOBBasCoreUtils.h"

void QOBBasRymel_initialize(int& count);
void QOBBasRymel_finalize(int& count);

// A string built from a C string; a null pointer gives the empty string.
class RYMString : public atr_StringBase {
 public:
  RYMString(const char* text) : atr_StringBase(text) {}  // NOLINT: converting by design
};
