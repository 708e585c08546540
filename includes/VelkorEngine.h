// The engine's own class: it has no state and does nothing; the program makes no object of it.
#pragma once

class VelkorEngine {
 public:
  VelkorEngine() {}
  ~VelkorEngine() {}
  VelkorEngine& operator=(const VelkorEngine&) { return *this; }
};
