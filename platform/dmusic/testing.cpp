// Test hooks: pulling the mix without an audio device.
#include "dmusic_testing.h"
#include "objects.h"
#include "sound_font.h"

namespace zr::dmusic::testing {

HRESULT InitAudioForPulling(IDirectMusicPerformance8* performance, DWORD defaultPathType) {
  Performance* ours = Performance::From(performance);
  if (ours == nullptr) return E_INVALIDARG;
  return ours->Open(defaultPathType, true);
}

HRESULT PullMix(IDirectMusicPerformance8* performance, float* out, std::size_t frames) {
  Performance* ours = Performance::From(performance);
  if (ours == nullptr) return E_INVALIDARG;
  return ours->Pull(out, frames);
}

std::vector<float> PullMix(IDirectMusicPerformance8* performance, std::size_t frames) {
  std::vector<float> out(2 * frames);
  if (FAILED(PullMix(performance, out.data(), frames))) out.clear();
  return out;
}

Limiter::Activity LimiterActivityOf(IDirectMusicPerformance8* performance) {
  Performance* ours = Performance::From(performance);
  return ours ? ours->limiterActivity() : Limiter::Activity{};
}

std::string OutputDriverOf(IDirectMusicPerformance8* performance) {
  Performance* ours = Performance::From(performance);
  return ours ? ours->driver() : "";
}

bool UseSoundFontPaths(std::vector<std::string> paths) { return SoundFontBank::UsePaths(std::move(paths)); }

const std::vector<std::string>& DefaultSoundFontPaths() { return zr::dmusic::DefaultSoundFontPaths(); }

}  // namespace zr::dmusic::testing
