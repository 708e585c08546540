#include "Duel.h"

#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>

#include "Application.h"
#include "GameObjects.h"

std::int32_t leftY = 0;
std::int32_t rightY = 0;
std::int32_t livesLeft = kLives;
std::int32_t livesRight = kLives;
bool rightFireFirst = true;
Shot shots[kShotCount] = {};

namespace {

bool Held(int key) { return keyboard.keys[key] != 0; }

void Restart() {
  livesRight = kLives;
  livesLeft = kLives;
  leftY = 0;
  rightY = 0;
  for (Shot& shot : shots) shot.active = false;
}

// Moves a figure up (negative direction) or down, kept within the screen.
void Move(std::int32_t& y, bool up) {
  if (up) {
    if (framesPerSecond != 0 && y >= kLowestY) y -= kSpeed / framesPerSecond;
    if (y < kLowestY) y = kLowestY;
  } else {
    if (framesPerSecond != 0 && y <= kHighestY) y += kSpeed / framesPerSecond;
    if (y > kHighestY) y = kHighestY;
  }
}

void Fire(bool leftPlayer, std::int32_t startX) {
  for (Shot& shot : shots) {
    if (shot.active) continue;
    sound.PlaySoundEffect(kShotSound);
    shot.active = true;
    shot.y = (leftPlayer ? leftY : rightY) + 40;
    shot.direction = leftPlayer ? 1 : 2;
    shot.x = startX;
    return;
  }
}

}  // namespace

void ResetDuel() {
  Restart();
  rightFireFirst = true;
  for (Shot& shot : shots) shot = Shot{};
}

void UpdateDuel() {
  if (Held(DIK_ESCAPE)) PostQuitMessage(0);

  if (MatchOver()) {
    if (Held(DIK_SPACE)) Restart();
    scene.Update();
    return;
  }

  if (Held(DIK_W)) Move(leftY, true);
  if (Held(DIK_S)) Move(leftY, false);
  if (Held(DIK_UP)) Move(rightY, true);
  if (Held(DIK_DOWN)) Move(rightY, false);

  rightFireFirst = !rightFireFirst;
  if (Held(DIK_RCONTROL) && rightFireFirst) Fire(false, 880);
  else if (Held(DIK_TAB)) Fire(true, 60);
  else if (Held(DIK_RCONTROL)) Fire(false, 895);

  scene.Update();
}

void AdvanceShot(Shot& shot) {
  if (framesPerSecond == 0) return;
  if (shot.direction == 2) {
    if (shot.x < 0) shot.active = false;
    else shot.x -= kSpeed / framesPerSecond;
  } else {
    if (shot.x > 900) shot.active = false;
    else shot.x += kSpeed / framesPerSecond;
  }
}

void ResolveHits() {
  for (Shot& shot : shots) {
    if (shot.direction == 1 && shot.active && shot.x >= 870) {
      if (shot.y + 10 >= rightY && shot.y <= rightY + 100) {
        livesRight -= 1;
        shot.active = false;
      }
    } else if (shot.direction == 2 && shot.active && shot.x <= 90) {
      if (shot.y + 10 >= leftY && shot.y <= leftY + 100) {
        livesLeft -= 1;
        shot.active = false;
      }
    }
  }
}
