// The rules of the duel: two figures, their lives and the flying shots.
#pragma once

#include <cstdint>

struct Shot {
  std::int32_t x;          // left edge, screen pixels
  std::int32_t y;          // top edge
  std::int32_t direction;  // 1: fired by the left player, flies right; 2: by the right player, flies left
  bool active;
};

inline constexpr int kShotCount = 30;
inline constexpr int kSpeed = 1200;  // pixels per second, figures and shots alike
inline constexpr int kLowestY = 0;
inline constexpr int kHighestY = 668;
inline constexpr int kLives = 100;
inline constexpr const char* kShotSound = "../objects/sfx/BFIRE.WAV";

extern std::int32_t leftY;
extern std::int32_t rightY;
extern std::int32_t livesLeft;
extern std::int32_t livesRight;
extern bool rightFireFirst;
extern Shot shots[kShotCount];

// Whether a player has no lives left. A counter taken below 0 by two hits in one frame also ends
// the match.
inline bool MatchOver() { return livesLeft <= 0 || livesRight <= 0; }

// Once per frame, after the keyboard is read: quit on Escape; on a win screen, restart on Space;
// during play, move the figures and fire at most one shot.
void UpdateDuel();
// Moves one active shot one step, retiring it one step after it passed the edge.
void AdvanceShot(Shot& shot);
// Takes a life for every shot in a figure's hit band and retires the shot.
void ResolveHits();
// The duel as the program starts it (for a fresh start in tests).
void ResetDuel();
