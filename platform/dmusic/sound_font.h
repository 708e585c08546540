// The General MIDI SoundFont, loaded once per process and shared by every synthesizer, and the
// synthesizers that play MIDI pieces with it.
//
// FluidSynth lets several synthesizers use one loaded SoundFont: a small holder synthesizer
// (one voice, no effects) loads the file, and each player adds the holder's SoundFont to its own
// stack and removes it again before it is deleted. A player then costs about 3.7 MB instead of
// the 18 MB of a SoundFont of its own. FluidSynth's messages go to our diagnostic channel
// (OutputDebugStringA, that is standard error), each prefixed with "fluidsynth: ".
#pragma once

#include <fluidsynth.h>

#include <memory>
#include <string>
#include <vector>

namespace zr::dmusic {

// The players' output gain (FluidSynth's synth.gain, linear; its own default is 0.2). At 0.2 the
// game's piece, six General MIDI instruments at ordinary volumes and velocities, played at
// -27 dBFS RMS, far below other sound: 0.5 (+8 dB) puts it at -19 dBFS with its peaks at
// -3.4 dBFS, still under the limiter's threshold, so music passes the limiter untouched.
inline constexpr double kSynthGain = 0.5;

// The places looked at, in order.
const std::vector<std::string>& DefaultSoundFontPaths();

class PlayerSynth {
 public:
  ~PlayerSynth();
  PlayerSynth(const PlayerSynth&) = delete;
  PlayerSynth& operator=(const PlayerSynth&) = delete;

  fluid_synth_t* get() const { return synth_; }
  bool attached() const { return attached_; }
  // Puts the shared SoundFont on the synthesizer's stack, and takes it off again. Both touch the
  // shared SoundFont, so the mixer calls them under its lock, where no synthesizer renders.
  void Attach();
  void Detach();

 private:
  friend class SoundFontBank;
  PlayerSynth(fluid_settings_t* settings, fluid_synth_t* synth, fluid_sfont_t* font);
  fluid_settings_t* settings_;
  fluid_synth_t* synth_;
  fluid_sfont_t* font_;
  bool attached_ = false;
};

class SoundFontBank {
 public:
  // The process's bank, loading the SoundFont on first use. A missing SoundFont is said once on
  // standard error; the music is then silent.
  static SoundFontBank& Get();
  bool loaded() const { return font_ != nullptr; }
  const std::string& path() const { return path_; }
  // A new synthesizer for one playing instance of a MIDI piece, or null without a SoundFont.
  std::unique_ptr<PlayerSynth> NewSynth();

  // Tests only: forgets the loaded SoundFont (there must be no player synthesizer left) and looks
  // at these paths from now on, as a fresh process would.
  static bool UsePaths(std::vector<std::string> paths);

 private:
  explicit SoundFontBank(const std::vector<std::string>& paths);
  ~SoundFontBank();
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* holder_ = nullptr;
  fluid_sfont_t* font_ = nullptr;
  std::string path_;
};

}  // namespace zr::dmusic
