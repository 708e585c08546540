// What the fuzz targets check besides the sanitizers: a broken promise aborts with its name.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}
