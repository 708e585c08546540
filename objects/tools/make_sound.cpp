// Synthesises the shot's sound: a pulse wave whose pitch falls fast, over a short burst of
// filtered noise, with a 2 ms attack and a decay that ends in silence. 16-bit mono PCM at
// 44,100 Hz, its peak at -16 dBFS (see main).
// Usage: make_sound <file.wav>
//
// Only +, -, * and / shape the samples (the decays are repeated multiplications), so the bytes
// are the same at every optimisation level.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSamples = kRate / 4;  // 0.25 s

// Removes the step a naive pulse makes at a phase wrap, t in [0, 1), dt the phase step.
double poly_blep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1;
  }
  if (t > 1 - dt) {
    t = (t - 1) / dt;
    return t * t + t + t + 1;
  }
  return 0;
}

std::vector<double> synthesise() {
  std::vector<double> out(kSamples);
  double phase = 0, sweep = 1, noise_level = 1, level = 1;
  double tone_low = 0, noise_low = 0, noise_prev = 0;
  uint32_t seed = 0x9E3779B9u;
  for (int n = 0; n < kSamples; ++n) {
    // Pitch: from 1,680 Hz down towards 180 Hz.
    const double freq = 180 + 1500 * sweep;
    sweep *= 0.99968;
    const double dt = freq / kRate;
    // A pulse of one-third duty: two naive steps, each smoothed.
    const double duty = 1.0 / 3;
    double pulse = phase < duty ? 1 : -1;
    pulse += poly_blep(phase, dt);
    double shifted = phase + (1 - duty);
    if (shifted >= 1) shifted -= 1;
    pulse -= poly_blep(shifted, dt);
    phase += dt;
    if (phase >= 1) phase -= 1;
    // The tone darkens as it falls.
    tone_low += (pulse - tone_low) * (0.08 + 0.5 * sweep);

    // Noise: xorshift, high-passed a little, then a gentle low-pass.
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    const double white = seed / 2147483648.0 - 1;
    const double bright = white - 0.6 * noise_prev;
    noise_prev = white;
    noise_low += (bright - noise_low) * 0.45;
    noise_level *= 0.9982;

    const double attack = std::min(1.0, n / 88.0);
    level *= 0.99978;
    out[n] = attack * level * (0.8 * tone_low + 0.55 * noise_level * noise_low);
  }
  // The last 25 ms fade smoothly to exactly zero.
  const int fade = kRate / 40;
  for (int i = 0; i < fade; ++i) {
    const double t = static_cast<double>(i) / (fade - 1);  // 0 at the fade's start, 1 at the end
    out[kSamples - fade + i] *= (1 - t) * (1 - t) * (1 + 2 * t);
  }
  // Remove any offset, keeping the first sample at zero.
  double mean = 0;
  for (double v : out) mean += v;
  mean /= kSamples;
  for (int n = 0; n < kSamples; ++n) {
    const double edge = std::min({1.0, n / 88.0, (kSamples - 1 - n) / 88.0});
    out[n] -= mean * edge;
  }
  return out;
}

void put16(std::vector<uint8_t>& b, unsigned v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void tag(std::vector<uint8_t>& b, const char* four) { b.insert(b.end(), four, four + 4); }

std::vector<uint8_t> wave_file(const std::vector<int16_t>& samples) {
  const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> b;
  tag(b, "RIFF");
  put32(b, 36 + data_bytes);
  tag(b, "WAVE");
  tag(b, "fmt ");
  put32(b, 16);
  put16(b, 1);  // PCM
  put16(b, 1);  // mono
  put32(b, kRate);
  put32(b, kRate * 2);  // bytes per second
  put16(b, 2);          // bytes per frame
  put16(b, 16);         // bits per sample
  tag(b, "data");
  put32(b, data_bytes);
  for (int16_t s : samples) put16(b, static_cast<uint16_t>(s));
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <file.wav>\n", argv[0]);
    return 2;
  }
  const std::vector<double> wave = synthesise();
  double peak = 0;
  for (double v : wave) peak = std::max(peak, std::abs(v));
  // The peak at -16 dBFS, 10^(-16/20) of full scale. While both players hold fire the game starts
  // a shot every frame, so its 30 shots go out within half a second and 15 of these quarter-second
  // sounds overlap, two often starting together: their sum is some 13 dB above one shot. At this
  // level such a burst plays 6 to 8 dB above the music (-20 dBFS RMS) and only its highest peaks
  // reach the mix's limiter, while one shot alone, over its first 100 ms and A-weighted, is as
  // loud as the music.
  const double gain = 0.15848931924611134 * 32767 / peak;
  std::vector<int16_t> samples;
  for (double v : wave) samples.push_back(static_cast<int16_t>(std::lround(v * gain)));

  const std::vector<uint8_t> bytes = wave_file(samples);
  FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "%s: cannot write\n", argv[1]);
    return 1;
  }
  return 0;
}
