// WAV and MIDI files written byte by byte for the tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace sound_builders {

using Bytes = std::vector<std::uint8_t>;

inline void Put(Bytes& b, std::uint64_t v, int n, bool bigEndian = false) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> 8 * (bigEndian ? n - 1 - i : i)));
}
inline void Tag(Bytes& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

// A RIFF chunk, padded to an even size; `declared` replaces the true size (a lying size).
inline Bytes Chunk(const char* tag, const Bytes& body, std::int64_t declared = -1) {
  Bytes b;
  Tag(b, tag);
  Put(b, declared < 0 ? body.size() : static_cast<std::uint64_t>(declared), 4);
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() & 1) b.push_back(0);
  return b;
}
inline Bytes Riff(const char* form, const std::vector<Bytes>& chunks) {
  Bytes body;
  Tag(body, form);
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk("RIFF", body);
}
// The body of a format chunk.
inline Bytes Format(int tag, int channels, int rate, int bits) {
  Bytes f;
  for (auto [v, n] : {std::pair{tag, 2}, {channels, 2}, {rate, 4}, {rate * channels * bits / 8, 4},
                      {channels * bits / 8, 2}, {bits, 2}})
    Put(f, static_cast<std::uint32_t>(v), n);
  return f;
}
inline Bytes Wav(int channels, int rate, int bits, const Bytes& data, int tag = 1) {
  return Riff("WAVE", {Chunk("fmt ", Format(tag, channels, rate, bits)), Chunk("data", data)});
}
inline Bytes Pcm16(const std::vector<int>& samples) {
  Bytes b;
  for (int s : samples) Put(b, static_cast<std::uint16_t>(s), 2);
  return b;
}
// 16-bit samples of a sine starting at 0, each channel at its own amplitude.
inline std::vector<int> Sine(int rate, double hertz, std::vector<double> amplitudes, int frames) {
  std::vector<int> s;
  for (int i = 0; i < frames; ++i)
    for (double a : amplitudes) s.push_back(static_cast<int>(std::lround(32767 * a * std::sin(2 * M_PI * hertz * i / rate))));
  return s;
}

// A MIDI track: events with delta times, closed by End().
struct Track {
  Bytes bytes;
  Track& Event(std::uint32_t delta, std::initializer_list<int> message) {
    Bytes groups{static_cast<std::uint8_t>(delta & 0x7F)};
    while (delta >>= 7) groups.insert(groups.begin(), static_cast<std::uint8_t>(0x80 | (delta & 0x7F)));
    bytes.insert(bytes.end(), groups.begin(), groups.end());
    for (int m : message) bytes.push_back(static_cast<std::uint8_t>(m));
    return *this;
  }
  Track& Tempo(std::uint32_t delta, std::uint32_t microsecondsPerQuarter) {
    return Event(delta, {0xFF, 0x51, 3, int(microsecondsPerQuarter >> 16), int(microsecondsPerQuarter >> 8 & 0xFF),
                         int(microsecondsPerQuarter & 0xFF)});
  }
  Track& End(std::uint32_t delta = 0) { return Event(delta, {0xFF, 0x2F, 0x00}); }
};

inline Bytes Smf(int format, int division, const std::vector<Track>& tracks, int declaredTracks = -1) {
  Bytes b;
  Tag(b, "MThd");
  for (auto [v, n] : {std::pair{6, 4}, {format, 2}, {declaredTracks < 0 ? int(tracks.size()) : declaredTracks, 2},
                      {division, 2}})
    Put(b, static_cast<std::uint32_t>(v), n, true);
  for (const Track& t : tracks) {
    Tag(b, "MTrk");
    Put(b, t.bytes.size(), 4, true);
    b.insert(b.end(), t.bytes.begin(), t.bytes.end());
  }
  return b;
}

// A melody of quarter-second notes on two channels at 480 ticks a beat, 120 beats a minute.
inline Bytes Melody(int notes) {
  Track t;
  t.Event(0, {0xC0, 0}).Event(0, {0xC1, 33});
  for (int i = 0; i < notes; ++i)
    t.Event(0, {0x90, 60 + i % 12, 90}).Event(0, {0x91, 40 + i % 12, 90}).Event(240, {0x80, 60 + i % 12, 0}).Event(0, {0x81, 40 + i % 12, 0});
  return Smf(0, 480, {t.End()});
}

}  // namespace sound_builders
