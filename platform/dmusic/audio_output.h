// The audio device that the mixer plays through: SDL audio, float stereo at 44,100 Hz, 1,024
// frames a buffer (23 ms).
//
// The default driver is tried first (whatever SDL_AUDIODRIVER names, or SDL's own choice). When
// it opens no device (no sound card, no sound server: here SDL picks ALSA and its open fails),
// SDL's "dummy" driver takes over: silent, but its thread pulls at real-time pace, so sounds and
// music end when they would have ended on a speaker. ALSA's own complaints during the attempt go
// to our diagnostic channel as one line, not as the library's eight.
#pragma once

#include <SDL.h>

#include <string>

namespace zr::dmusic {

class Mixer;

class AudioOutput {
 public:
  static constexpr int kBufferFrames = 1024;

  AudioOutput() = default;
  ~AudioOutput() { Close(); }
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  // Starts pulling from `mixer`. False only when not even the dummy driver opens.
  bool Open(Mixer* mixer);
  void Close();
  // The SDL driver in use ("pulseaudio", "alsa", "dummy", ...), empty when closed.
  const std::string& driver() const { return driver_; }

 private:
  bool TryOpen(Mixer* mixer);
  static void Pull(void* mixer, Uint8* stream, int bytes);

  SDL_AudioDeviceID device_ = 0;
  std::string driver_;
};

}  // namespace zr::dmusic
