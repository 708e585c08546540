// DirectMusic: what mixing costs per second of audio (the game's music with thirty overlapping
// shots), and what loading and preparing the music and an effect costs at start-up, SoundFont
// included; and the levels the game's sound plays at. The mix is pulled offline, 1,024 frames at a
// time as SDL's audio thread pulls it, so the time measured is the audio thread's work and the
// levels are what SDL gets. Targets: at most 20 ms of CPU per second of audio (2% of one core);
// start-up and levels are reported.
//
// The sounds are the game's own, open.mid and BFIRE.WAV, where the build has made them (objects/sfx
// in its run folder); otherwise a stand-in piece and shot written here, with a note saying so.
#include <benchmark/benchmark.h>
#include <dmusici.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "dmusic_testing.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPull = 1024;

void Be(Bytes& b, std::uint32_t v, int n) {
  for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Le(Bytes& b, std::uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Number(Bytes& b, std::uint32_t v) {
  Bytes groups{static_cast<std::uint8_t>(v & 0x7F)};
  while (v >>= 7) groups.insert(groups.begin(), static_cast<std::uint8_t>(0x80 | (v & 0x7F)));
  b.insert(b.end(), groups.begin(), groups.end());
}

// The stand-in for the game's open.mid: type 1, 120 beats a minute, 16 bars of 4/4 (32 s) on eight
// channels: drums, bass, two pads, a lead, an arpeggio, strings and brass, with volume and pan
// controllers and some pitch bend; 700 notes or so.
Bytes Music() {
  struct Note {
    std::uint32_t tick;
    int channel, key, velocity;
    std::uint32_t length;
  };
  const int programs[8] = {0, 33, 89, 90, 81, 4, 48, 61};
  std::vector<Note> notes;
  const std::uint32_t beat = 480;
  const int chords[4] = {45, 41, 48, 43};
  for (std::uint32_t bar = 0; bar < 16; ++bar) {
    std::uint32_t t = bar * 4 * beat;
    int root = chords[bar % 4];
    for (int b = 0; b < 8; ++b) {  // drums in eighths: kick, snare, hats
      notes.push_back({t + b * beat / 2, 9, 42, 70, 60});
      if (b % 4 == 0) notes.push_back({t + b * beat / 2, 9, 36, 100, 100});
      if (b % 4 == 2) notes.push_back({t + b * beat / 2, 9, 38, 90, 100});
    }
    for (int b = 0; b < 4; ++b) notes.push_back({t + b * beat, 1, root - 12, 90, beat - 40});  // bass
    for (int k : {0, 4, 7}) notes.push_back({t, 2, root + 12 + k, 50, 4 * beat - 20});           // pads
    notes.push_back({t, 3, root + 24, 40, 4 * beat - 20});
    for (int b = 0; b < 4; ++b) notes.push_back({t + b * beat, 4, root + 24 + (b * 3) % 8, 80, beat / 2});  // lead
    for (int b = 0; b < 8; ++b) notes.push_back({t + b * beat / 2, 5, root + 12 + (b * 4) % 12, 60, beat / 3});  // arp
    if (bar % 2 == 0) notes.push_back({t, 6, root + 7, 55, 8 * beat - 20});  // strings
    if (bar % 4 == 3) notes.push_back({t + 2 * beat, 7, root + 19, 85, 2 * beat});  // brass
  }
  struct Event {
    std::uint32_t tick;
    Bytes bytes;
  };
  std::vector<Event> events;
  for (int c = 0; c < 8; ++c) {
    int channel = c == 0 ? 9 : c;
    events.push_back({0, {static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(programs[c])}});
    events.push_back({0, {static_cast<std::uint8_t>(0xB0 | channel), 7, 100}});
    events.push_back({0, {static_cast<std::uint8_t>(0xB0 | channel), 10, static_cast<std::uint8_t>(16 + 12 * c)}});
  }
  for (const Note& n : notes) {
    auto ch = static_cast<std::uint8_t>(n.channel);
    events.push_back({n.tick, {static_cast<std::uint8_t>(0x90 | ch), static_cast<std::uint8_t>(n.key),
                               static_cast<std::uint8_t>(n.velocity)}});
    events.push_back({n.tick + n.length, {static_cast<std::uint8_t>(0x80 | ch), static_cast<std::uint8_t>(n.key), 0}});
  }
  for (std::uint32_t t = 0; t < 64 * beat; t += beat / 4)  // a slow vibrato on the lead
    events.push_back({t, {0xE4, 0, static_cast<std::uint8_t>(64 + 6 * std::sin(t / 300.0))}});
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.tick < b.tick; });
  Bytes track;
  std::uint32_t now = 0;
  for (const Event& e : events) {
    Number(track, e.tick - now);
    now = e.tick;
    track.insert(track.end(), e.bytes.begin(), e.bytes.end());
  }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
  Bytes conductor = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00};
  Bytes file = {'M', 'T', 'h', 'd'};
  Be(file, 6, 4);
  Be(file, 1, 2);
  Be(file, 2, 2);
  Be(file, beat, 2);
  for (const Bytes* t : {&conductor, &track}) {
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    Be(file, static_cast<std::uint32_t>(t->size()), 4);
    file.insert(file.end(), t->begin(), t->end());
  }
  return file;
}

// A shot: half a second of 22,050 Hz 16-bit mono, a decaying noisy burst.
Bytes Shot() {
  Bytes data;
  std::uint32_t seed = 1;
  for (int i = 0; i < 11025; ++i) {
    seed = seed * 1664525 + 1013904223;
    double noise = static_cast<int>(seed >> 16 & 0xFFFF) / 32768.0 - 1.0;
    double v = 0.3 * std::exp(-i / 2000.0) * (0.6 * noise + 0.4 * std::sin(i * 0.07));
    Le(data, static_cast<std::uint16_t>(static_cast<std::int16_t>(v * 32767)), 2);
  }
  Bytes file = {'R', 'I', 'F', 'F'};
  Le(file, static_cast<std::uint32_t>(36 + data.size()), 4);
  file.insert(file.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Le(file, 16, 4);
  Le(file, 1, 2);
  Le(file, 1, 2);
  Le(file, 22050, 4);
  Le(file, 44100, 4);
  Le(file, 2, 2);
  Le(file, 16, 2);
  file.insert(file.end(), {'d', 'a', 't', 'a'});
  Le(file, static_cast<std::uint32_t>(data.size()), 4);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

void Write(const char* name, const Bytes& bytes) {
  std::FILE* f = std::fopen(name, "wb");
  if (f == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

bool Readable(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

// Where the build writes the game's sounds: objects/sfx in its run folder, which is run/ in the
// build tree, beside the bench/ folder of this program, unless the build names it.
std::string GameSoundFolder() {
#ifdef ZR_BENCH_RUN_DIR
  return std::string(ZR_BENCH_RUN_DIR) + "/objects/sfx";
#else
  char self[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "../run/objects/sfx";
  std::string path(self, static_cast<std::size_t>(length));
  for (int up = 0; up < 2 && path.find('/') != std::string::npos; ++up) path.erase(path.rfind('/'));
  return path + "/run/objects/sfx";
#endif
}

// The length of a WAV file's sound, seconds, from its fmt chunk's byte rate and its data chunk's
// size; 0 when the file says neither.
double WaveSeconds(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  Bytes file;
  std::uint8_t buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) file.insert(file.end(), buffer, buffer + n);
  std::fclose(f);
  auto le = [&](std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | file[at + i];
    return v;
  };
  std::uint32_t byteRate = 0;
  std::uint32_t dataSize = 0;
  for (std::size_t at = 12; at + 8 <= file.size();) {
    std::string tag(file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(at + 4));
    std::uint32_t size = le(at + 4, 4);
    if (tag == "fmt " && at + 20 <= file.size()) byteRate = le(at + 16, 4);
    if (tag == "data") dataSize = size;
    at += 8 + size + (size & 1);
  }
  return byteRate == 0 ? 0 : static_cast<double>(dataSize) / byteRate;
}

// The music and the shot the benchmarks play: the game's, or the stand-ins; and how many frames
// apart shots start so that thirty of them always overlap.
struct SoundFiles {
  std::string music;
  std::string shot;
  const char* label;
  std::size_t shotSpacing = 735;
};

const SoundFiles& Files() {
  static const SoundFiles files = [] {
    const std::string folder = GameSoundFolder();
    SoundFiles chosen;
    if (Readable(folder + "/open.mid") && Readable(folder + "/BFIRE.WAV")) {
      chosen = SoundFiles{folder + "/open.mid", folder + "/BFIRE.WAV", "open.mid, BFIRE.WAV"};
    } else {
      std::fprintf(stderr,
                   "note: the game's open.mid and BFIRE.WAV are not in %s (build the game_data target): "
                   "mixing a stand-in piece and shot instead\n",
                   folder.c_str());
      Write("bench_music.mid", Music());
      Write("bench_shot.wav", Shot());
      chosen = SoundFiles{"bench_music.mid", "bench_shot.wav", "stand-in piece and shot"};
    }
    double seconds = WaveSeconds(chosen.shot);
    if (seconds > 0) chosen.shotSpacing = std::max<std::size_t>(1, static_cast<std::size_t>(seconds * 44100 / 30));
    return chosen;
  }();
  return files;
}

struct Sound {
  Sound() {
    CoInitialize(nullptr);
    CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                     reinterpret_cast<void**>(&performance));
    CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8,
                     reinterpret_cast<void**>(&loader));
    zr::dmusic::testing::InitAudioForPulling(performance);
  }
  ~Sound() {
    if (music) music->Release();
    if (shot) shot->Release();
    performance->Release();
    loader->Release();
    CoUninitialize();
  }
  IDirectMusicSegment8* Load(const std::string& name) {
    std::wstring wide(name.begin(), name.end());
    IDirectMusicSegment8* segment = nullptr;
    if (FAILED(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, wide.data(),
                                          reinterpret_cast<void**>(&segment))))
      return nullptr;
    segment->Download(performance);
    return segment;
  }
  void Play(IDirectMusicSegment8* segment, DWORD flags) {
    performance->PlaySegmentEx(segment, nullptr, nullptr, flags, 0, nullptr, nullptr, nullptr);
  }
  IDirectMusicPerformance8* performance = nullptr;
  IDirectMusicLoader8* loader = nullptr;
  IDirectMusicSegment8* music = nullptr;
  IDirectMusicSegment8* shot = nullptr;
};

// One iteration: one second of audio with the music playing and a shot started every
// 1/30 of the shot's length (735 frames for a half-second shot), so that thirty shots always
// overlap.
void BM_MixOneSecond_MusicAndThirtyShots(benchmark::State& state) {
  Sound sound;
  sound.music = sound.Load(Files().music);
  sound.shot = sound.Load(Files().shot);
  if (sound.music == nullptr || sound.shot == nullptr) {
    state.SkipWithError("loading failed");
    return;
  }
  sound.music->SetRepeats(DMUS_SEG_REPEAT_INFINITE);
  sound.Play(sound.music, 0);
  std::vector<float> out(2 * kPull);
  const std::size_t spacing = Files().shotSpacing;
  std::size_t sinceShot = 0;
  auto second = [&] {
    for (std::size_t frames = 0; frames < 44100; frames += kPull) {
      while (sinceShot >= spacing) {
        sound.Play(sound.shot, DMUS_SEGF_SECONDARY);
        sinceShot -= spacing;
      }
      zr::dmusic::testing::PullMix(sound.performance, out.data(), kPull);
      benchmark::DoNotOptimize(out.data());
      sinceShot += kPull;
    }
  };
  second();  // to the steady state: thirty shots sounding
  double peak = 0;
  for (auto _ : state) {
    second();
    for (float v : out) peak = std::max(peak, double{std::fabs(v)});
  }
  state.counters["peak"] = peak;  // under 1: the limiter's work
  state.SetLabel(Files().label);
}
BENCHMARK(BM_MixOneSecond_MusicAndThirtyShots)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The same second with the music alone, and with the shots alone: where the time goes.
void BM_MixOneSecond_MusicAlone(benchmark::State& state) {
  Sound sound;
  sound.music = sound.Load(Files().music);
  if (sound.music == nullptr) {
    state.SkipWithError("loading failed");
    return;
  }
  sound.music->SetRepeats(DMUS_SEG_REPEAT_INFINITE);
  sound.Play(sound.music, 0);
  std::vector<float> out(2 * kPull);
  for (auto _ : state)
    for (std::size_t frames = 0; frames < 44100; frames += kPull)
      zr::dmusic::testing::PullMix(sound.performance, out.data(), kPull);
  state.SetLabel(Files().label);
}
BENCHMARK(BM_MixOneSecond_MusicAlone)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_MixOneSecond_ThirtyShotsAlone(benchmark::State& state) {
  Sound sound;
  sound.shot = sound.Load(Files().shot);
  if (sound.shot == nullptr) {
    state.SkipWithError("loading failed");
    return;
  }
  std::vector<float> out(2 * kPull);
  const std::size_t spacing = Files().shotSpacing;
  std::size_t sinceShot = spacing * 30;
  for (auto _ : state)
    for (std::size_t frames = 0; frames < 44100; frames += kPull) {
      while (sinceShot >= spacing) {
        sound.Play(sound.shot, DMUS_SEGF_SECONDARY);
        sinceShot -= spacing;
      }
      zr::dmusic::testing::PullMix(sound.performance, out.data(), kPull);
      sinceShot += kPull;
    }
  state.SetLabel(Files().label);
}
BENCHMARK(BM_MixOneSecond_ThirtyShotsAlone)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The levels a player hears at the output (after the limiter, what SDL gets), measured on the
// music alone and on the same music with bursts of shots as the game fires them: while both
// players hold fire the game starts a shot every frame (60 a second), the players in turn, until
// its 30 shots are all in flight half a second later. A burst begins every 4 s from the first
// second on, over 80 s of music (the game's piece nearly whole). dBFS: RMS over both sides in
// decibels of full scale.
struct Levels {
  double music = 0;         // the music alone over the 80 s
  double opening = 0;       // its first 3 s (the span the test renders)
  double musicPeak = 0;     // its highest sample
  double musicChanged = 0;  // the share of its frames the limiter changed (gain under 1, or the knee)
  double burst = 0;         // the loudest burst: RMS over the half second of its firing, music included
  double overLocal = 0;     // the most a burst is above the music alone in the same half second, dB
  double peak = 0;          // the highest sample with the bursts
  double burstChanged = 0;  // the share of frames the limiter changed in the second from each burst's start
  double burstDown = 0;     // the share of those frames it turned down by more than 1 dB
  double burstRemoved = 0;  // the energy it took in those seconds, dB of what came in
  double lowestGain = 0;    // its lowest gain, dB
};

double Db(double energy, double values) { return 10 * std::log10(std::max(energy / values, 1e-20)); }

const Levels& MeasureLevels() {
  static const Levels levels = [] {
    constexpr std::size_t kFrames = 80 * 44100, kBurstEvery = 4 * 44100, kFirstBurst = 44100, kOpening = 3 * 44100;
    constexpr std::size_t kShots = 30, kFiring = 44100 / 2;
    constexpr double kShotEvery = 44100.0 / 60;
    Sound alone, with;
    alone.music = alone.Load(Files().music);
    with.music = with.Load(Files().music);
    with.shot = with.Load(Files().shot);
    Levels l;
    if (alone.music == nullptr || with.music == nullptr || with.shot == nullptr) return l;
    for (Sound* s : {&alone, &with}) {
      s->music->SetRepeats(DMUS_SEG_REPEAT_INFINITE);
      s->Play(s->music, 0);
    }
    std::vector<float> a(2 * kPull), b(2 * kPull);
    double music = 0, opening = 0, burst = 0, under = 0, loudestBurst = 0, changed = 0, down = 0, in = 0, out = 0;
    std::size_t burstAt = kFrames, fired = kShots, nextBurst = kFirstBurst, bursts = 0;
    bool counting = false;
    zr::dmusic::Limiter::Activity before;
    auto finishSecond = [&] {
      zr::dmusic::Limiter::Activity now = zr::dmusic::testing::LimiterActivityOf(with.performance);
      changed += static_cast<double>(now.framesChanged - before.framesChanged);
      down += static_cast<double>(now.framesDownOverOneDb - before.framesDownOverOneDb);
      in += now.energyIn - before.energyIn;
      out += now.energyOut - before.energyOut;
      counting = false;
    };
    for (std::size_t frame = 0; frame < kFrames; frame += kPull) {
      if (counting && frame >= burstAt + 44100) finishSecond();
      if (frame >= nextBurst) {
        burstAt = frame;
        nextBurst += kBurstEvery;
        ++bursts;
        fired = 0;
        before = zr::dmusic::testing::LimiterActivityOf(with.performance);
        counting = true;
      }
      for (; fired < kShots && burstAt + fired * kShotEvery <= frame; ++fired) with.Play(with.shot, DMUS_SEGF_SECONDARY);
      zr::dmusic::testing::PullMix(alone.performance, a.data(), kPull);
      zr::dmusic::testing::PullMix(with.performance, b.data(), kPull);
      for (std::size_t i = 0; i < 2 * kPull; ++i) {
        const std::size_t f = frame + i / 2;
        music += double{a[i]} * a[i];
        if (f < kOpening) opening += double{a[i]} * a[i];
        l.musicPeak = std::max(l.musicPeak, double{std::fabs(a[i])});
        l.peak = std::max(l.peak, double{std::fabs(b[i])});
        if (f >= burstAt && f < burstAt + kFiring) {
          burst += double{b[i]} * b[i];
          under += double{a[i]} * a[i];
        }
        if (f + 1 == burstAt + kFiring && i % 2 == 1) {
          loudestBurst = std::max(loudestBurst, burst);
          l.overLocal = std::max(l.overLocal, Db(burst, under));
          burst = under = 0;
        }
      }
    }
    if (counting) finishSecond();
    const zr::dmusic::Limiter::Activity withMusic = zr::dmusic::testing::LimiterActivityOf(alone.performance);
    const zr::dmusic::Limiter::Activity withShots = zr::dmusic::testing::LimiterActivityOf(with.performance);
    l.music = Db(music, 2.0 * kFrames);
    l.opening = Db(opening, 2.0 * kOpening);
    l.musicPeak = 20 * std::log10(l.musicPeak);
    l.musicChanged = 100.0 * static_cast<double>(withMusic.framesChanged) / static_cast<double>(withMusic.frames);
    l.burst = Db(loudestBurst, 2.0 * kFiring);
    l.peak = 20 * std::log10(l.peak);
    l.burstChanged = 100.0 * changed / (static_cast<double>(bursts) * 44100);
    l.burstDown = 100.0 * down / (static_cast<double>(bursts) * 44100);
    l.burstRemoved = Db(in, out);
    l.lowestGain = 20 * std::log10(withShots.lowestGain);
    return l;
  }();
  return levels;
}

// The levels as counters (measured once, before the timing: the time means nothing here).
void BM_Levels_MusicAlone(benchmark::State& state) {
  const Levels& l = MeasureLevels();
  for (auto _ : state) benchmark::DoNotOptimize(l.music);
  state.counters["music_dBFS"] = l.music;
  state.counters["opening_dBFS"] = l.opening;
  state.counters["peak_dBFS"] = l.musicPeak;
  state.counters["limited_%"] = l.musicChanged;
  state.SetLabel(Files().label);
}
BENCHMARK(BM_Levels_MusicAlone)->Iterations(1);

void BM_Levels_MusicAndShotBursts(benchmark::State& state) {
  const Levels& l = MeasureLevels();
  for (auto _ : state) benchmark::DoNotOptimize(l.burst);
  state.counters["burst_dBFS"] = l.burst;
  state.counters["over_music_dB"] = l.burst - l.music;
  state.counters["over_local_dB"] = l.overLocal;
  state.counters["peak_dBFS"] = l.peak;
  state.counters["limited_%"] = l.burstChanged;
  state.counters["down_1dB_%"] = l.burstDown;
  state.counters["removed_dB"] = l.burstRemoved;
  state.counters["lowest_gain_dB"] = l.lowestGain;
  state.SetLabel(Files().label);
}
BENCHMARK(BM_Levels_MusicAndShotBursts)->Iterations(1);

// Start-up: a fresh performance and loader, the music and the shot loaded and downloaded, the
// SoundFont loaded anew (as at the start of a process).
void BM_StartUp_LoadAndDownloadWithSoundFont(benchmark::State& state) {
  const SoundFiles& files = Files();
  for (auto _ : state) {
    state.PauseTiming();
    zr::dmusic::testing::UseSoundFontPaths(zr::dmusic::testing::DefaultSoundFontPaths());
    state.ResumeTiming();
    Sound sound;
    sound.music = sound.Load(files.music);
    sound.shot = sound.Load(files.shot);
    benchmark::DoNotOptimize(sound.music);
  }
  state.SetLabel(files.label);
}
BENCHMARK(BM_StartUp_LoadAndDownloadWithSoundFont)->Unit(benchmark::kMillisecond);

// Starting the music: its own synthesizer is made on every play (the SoundFont is shared).
void BM_PlayMusic_NewSynthesizer(benchmark::State& state) {
  Sound sound;
  sound.music = sound.Load(Files().music);
  if (sound.music == nullptr) {
    state.SkipWithError("loading failed");
    return;
  }
  for (auto _ : state) {
    sound.Play(sound.music, 0);
    state.PauseTiming();
    sound.performance->Stop(nullptr, nullptr, 0, 0);
    std::vector<float> out(2 * 512);
    zr::dmusic::testing::PullMix(sound.performance, out.data(), 512);  // the fade, and the voice is gone
    sound.performance->IsPlaying(nullptr, nullptr);
    state.ResumeTiming();
  }
  state.SetLabel(Files().label);
}
BENCHMARK(BM_PlayMusic_NewSynthesizer)->Unit(benchmark::kMillisecond);

}  // namespace
