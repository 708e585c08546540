// The shared SoundFont and the synthesizers that play with it.
#include "sound_font.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "sound_files.h"

namespace zr::dmusic {
namespace {

// Set while a player takes the shared SoundFont off its stack: FluidSynth then complains once
// per channel that no preset is left, which is what is meant.
thread_local bool quietLog = false;
std::atomic<int> livePlayers{0};

void Log(int level, const char* message, void*) {
  if (quietLog || level == FLUID_DBG || message == nullptr) return;
  std::string line = "fluidsynth: ";
  line += message;
  line += '\n';
  OutputDebugStringA(line.c_str());
}

fluid_settings_t* NewSettings(int polyphony, bool effects) {
  fluid_settings_t* s = new_fluid_settings();
  if (s == nullptr) return nullptr;
  fluid_settings_setnum(s, "synth.sample-rate", kMixRate);
  fluid_settings_setint(s, "synth.polyphony", polyphony);
  fluid_settings_setint(s, "synth.reverb.active", effects);
  fluid_settings_setint(s, "synth.chorus.active", effects);
  // One thread renders a synthesizer at a time (the mixer's lock sees to it).
  fluid_settings_setint(s, "synth.threadsafe-api", 0);
  fluid_settings_setint(s, "synth.cpu-cores", 1);
  return s;
}

std::vector<std::string>& Paths() {
  static std::vector<std::string> paths = DefaultSoundFontPaths();
  return paths;
}

SoundFontBank*& Instance() {
  // Kept for the rest of the process once loaded (reachable from here, so no leak).
  static SoundFontBank* bank = nullptr;
  return bank;
}

bool& MissingSaid() {
  static bool said = false;
  return said;
}

}  // namespace

const std::vector<std::string>& DefaultSoundFontPaths() {
  static const std::vector<std::string> paths = {
      "/usr/share/sounds/sf2/TimGM6mb.sf2",      "/usr/share/sounds/sf2/default-GM.sf2",
      "/usr/share/sounds/sf3/default-GM.sf3",    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
      "/usr/share/soundfonts/default.sf2",       "/usr/share/soundfonts/FluidR3_GM.sf2",
      "/usr/share/sounds/sf2/FluidR3_GS.sf2",
  };
  return paths;
}

PlayerSynth::PlayerSynth(fluid_settings_t* settings, fluid_synth_t* synth, fluid_sfont_t* font)
    : settings_(settings), synth_(synth), font_(font) {
  ++livePlayers;
}

PlayerSynth::~PlayerSynth() {
  Detach();
  delete_fluid_synth(synth_);
  delete_fluid_settings(settings_);
  --livePlayers;
}

void PlayerSynth::Attach() {
  if (attached_) return;
  attached_ = fluid_synth_add_sfont(synth_, font_) != FLUID_FAILED;
}

void PlayerSynth::Detach() {
  if (!attached_) return;
  quietLog = true;
  fluid_synth_remove_sfont(synth_, font_);
  quietLog = false;
  attached_ = false;
}

SoundFontBank::SoundFontBank(const std::vector<std::string>& paths) {
  for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) fluid_set_log_function(level, Log, nullptr);
  for (const std::string& candidate : paths) {
    if (std::FILE* f = std::fopen(candidate.c_str(), "rb")) {
      std::fclose(f);
    } else {
      continue;
    }
    settings_ = NewSettings(1, false);
    holder_ = settings_ ? new_fluid_synth(settings_) : nullptr;
    int id = holder_ ? fluid_synth_sfload(holder_, candidate.c_str(), 0) : FLUID_FAILED;
    if (id != FLUID_FAILED) {
      font_ = fluid_synth_get_sfont_by_id(holder_, id);
      path_ = candidate;
      return;
    }
    if (holder_) delete_fluid_synth(holder_);
    if (settings_) delete_fluid_settings(settings_);
    holder_ = nullptr;
    settings_ = nullptr;
  }
  if (!MissingSaid()) {
    MissingSaid() = true;
    std::string message = "sound: no General MIDI SoundFont found (looked for";
    for (const std::string& p : paths) message += " " + p;
    message += "); music plays silently. Install timgm6mb-soundfont.\n";
    OutputDebugStringA(message.c_str());
  }
}

SoundFontBank::~SoundFontBank() {
  if (holder_) delete_fluid_synth(holder_);
  if (settings_) delete_fluid_settings(settings_);
}

SoundFontBank& SoundFontBank::Get() {
  SoundFontBank*& bank = Instance();
  if (bank == nullptr) bank = new SoundFontBank(Paths());
  return *bank;
}

bool SoundFontBank::UsePaths(std::vector<std::string> paths) {
  if (livePlayers != 0) return false;
  delete Instance();
  Instance() = nullptr;
  Paths() = std::move(paths);
  MissingSaid() = false;
  return true;
}

std::unique_ptr<PlayerSynth> SoundFontBank::NewSynth() {
  if (font_ == nullptr) return nullptr;
  fluid_settings_t* settings = NewSettings(256, true);
  if (settings == nullptr) return nullptr;
  fluid_settings_setnum(settings, "synth.gain", kSynthGain);
  fluid_synth_t* synth = new_fluid_synth(settings);
  if (synth == nullptr) {
    delete_fluid_settings(settings);
    return nullptr;
  }
  return std::unique_ptr<PlayerSynth>(new PlayerSynth(settings, synth, font_));
}

}  // namespace zr::dmusic
