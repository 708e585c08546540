// WAV files of PCM samples written by the tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace sound_builders {

using Bytes = std::vector<std::uint8_t>;

// The RIFF header, a format chunk and a data chunk of PCM samples, `bits` (8, 16) each.
inline Bytes Wav(int channels, int rate, int bits, const std::vector<int>& samples) {
  Bytes b;
  auto put = [&b](const char* tag, std::vector<std::pair<std::uint32_t, int>> values) {
    if (tag) b.insert(b.end(), tag, tag + 4);
    for (auto [v, n] : values)
      for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> 8 * i));
  };
  const std::uint32_t frame = channels * bits / 8, size = static_cast<std::uint32_t>(samples.size() * bits / 8);
  put("RIFF", {{36 + size + (size & 1), 4}});
  put("WAVE", {});
  put("fmt ", {{16, 4}, {1, 2}, {channels, 2}, {rate, 4}, {rate * frame, 4}, {frame, 2}, {bits, 2}});
  put("data", {{size, 4}});
  for (int s : samples)
    for (int i = 0; i < bits / 8; ++i) b.push_back(static_cast<std::uint8_t>(s >> 8 * i));
  if (size & 1) b.push_back(0);
  return b;
}
// 16-bit samples of a sine starting at 0, each channel at its own amplitude.
inline std::vector<int> Sine(int rate, double hertz, std::vector<double> amplitudes, int frames) {
  std::vector<int> s;
  for (int i = 0; i < frames; ++i)
    for (double a : amplitudes) s.push_back(static_cast<int>(std::lround(32767 * a * std::sin(2 * M_PI * hertz * i / rate))));
  return s;
}

}  // namespace sound_builders
