// WAV and MIDI files written byte by byte for the tests, and a file helper.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace sound_builders {

using Bytes = std::vector<std::uint8_t>;

inline void Le(Bytes& b, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void Be(Bytes& b, std::uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void Append(Bytes& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(tag[i]));
}

// A RIFF chunk; `declared` replaces the true size when given (a lying size).
inline Bytes Chunk(const char* tag, const Bytes& body, std::int64_t declared = -1) {
  Bytes b;
  Append(b, tag);
  Le(b, declared < 0 ? body.size() : static_cast<std::uint64_t>(declared), 4);
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() & 1) b.push_back(0);
  return b;
}

inline Bytes FormatChunkBody(int tag, int channels, int rate, int bits) {
  Bytes f;
  Le(f, tag, 2);
  Le(f, channels, 2);
  Le(f, rate, 4);
  Le(f, std::uint64_t(rate) * channels * bits / 8, 4);
  Le(f, channels * bits / 8, 2);
  Le(f, bits, 2);
  return f;
}

inline Bytes Riff(const char* form, const std::vector<Bytes>& chunks) {
  Bytes body;
  Append(body, form);
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk("RIFF", body);
}

// A WAV file of the given format around `data` (the sample bytes as they are stored).
inline Bytes Wav(int channels, int rate, int bits, const Bytes& data, int tag = 1) {
  return Riff("WAVE", {Chunk("fmt ", FormatChunkBody(tag, channels, rate, bits)), Chunk("data", data)});
}

inline Bytes Pcm16(const std::vector<int>& samples) {
  Bytes b;
  for (int s : samples) Le(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(s)), 2);
  return b;
}

// A 16-bit stereo-or-mono sine (every channel alike) of `frames` frames at `rate`, its first sample 0.
inline std::vector<int> SineSamples(int channels, int rate, double hertz, double amplitude, int frames) {
  std::vector<int> s;
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      s.push_back(static_cast<int>(std::lround(32767 * amplitude * std::sin(2 * M_PI * hertz * i / rate))));
  return s;
}

// A MIDI track: events with delta times, closed by End().
struct Track {
  Bytes bytes;
  Track& Event(std::uint32_t delta, std::initializer_list<int> message) {
    Number(delta);
    for (int m : message) bytes.push_back(static_cast<std::uint8_t>(m));
    return *this;
  }
  Track& Tempo(std::uint32_t delta, std::uint32_t microsecondsPerQuarter) {
    Number(delta);
    bytes.insert(bytes.end(), {0xFF, 0x51, 0x03});
    Be(bytes, microsecondsPerQuarter, 3);
    return *this;
  }
  Track& End(std::uint32_t delta = 0) { return Event(delta, {0xFF, 0x2F, 0x00}); }
  void Number(std::uint32_t v) {
    Bytes groups;
    groups.push_back(v & 0x7F);
    while (v >>= 7) groups.insert(groups.begin(), static_cast<std::uint8_t>(0x80 | (v & 0x7F)));
    bytes.insert(bytes.end(), groups.begin(), groups.end());
  }
};

inline Bytes Smf(int format, int division, const std::vector<Track>& tracks, int declaredTracks = -1) {
  Bytes b;
  Append(b, "MThd");
  Be(b, 6, 4);
  Be(b, format, 2);
  Be(b, declaredTracks < 0 ? tracks.size() : static_cast<std::size_t>(declaredTracks), 2);
  Be(b, static_cast<std::uint16_t>(division), 2);
  for (const Track& t : tracks) {
    Append(b, "MTrk");
    Be(b, t.bytes.size(), 4);
    b.insert(b.end(), t.bytes.begin(), t.bytes.end());
  }
  return b;
}

// A short melody on a few channels at 480 ticks a quarter note, 120 beats a minute.
inline Bytes Melody(int notes = 8, int velocity = 70) {
  Track t;
  t.Event(0, {0xC0, 0}).Event(0, {0xC1, 33}).Event(0, {0xC2, 48});
  for (int i = 0; i < notes; ++i) {
    int key = 60 + (i * 5) % 12;
    t.Event(0, {0x90, key, velocity}).Event(0, {0x91, key - 24, velocity}).Event(0, {0x92, key + 7, velocity / 2});
    t.Event(240, {0x80, key, 0}).Event(0, {0x81, key - 24, 0}).Event(0, {0x82, key + 7, 0});
  }
  t.End();
  return Smf(0, 480, {t});
}

inline bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

inline std::wstring Wide(const std::string& narrow) { return std::wstring(narrow.begin(), narrow.end()); }

}  // namespace sound_builders
