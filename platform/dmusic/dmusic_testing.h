// Test hooks of the DirectMusic backend: a performance that plays into nothing and whose mix is
// pulled by the caller, frame by frame exactly as a device would pull it. Not part of the
// platform's API: engine and game code never include this.
#pragma once

#include <dmusici.h>

#include <cstddef>
#include <string>
#include <vector>

#include "limiter.h"

namespace zr::dmusic::testing {

// Opens `performance` as InitAudio does, but with no audio device: nothing moves until PullMix.
// DMUS_E_ALREADY_INITED when it is open; E_INVALIDARG for a performance not of this backend.
HRESULT InitAudioForPulling(IDirectMusicPerformance8* performance,
                            DWORD defaultPathType = DMUS_APATH_DYNAMIC_STEREO);

// Mixes the next `frames` frames into `out`: interleaved stereo floats (left, right) at 44,100 Hz,
// 2 * frames values. DMUS_E_NOT_INIT unless the performance was opened by InitAudioForPulling.
HRESULT PullMix(IDirectMusicPerformance8* performance, float* out, std::size_t frames);
// The same, returned.
std::vector<float> PullMix(IDirectMusicPerformance8* performance, std::size_t frames);

// What the limiter did to the performance's mix since it was opened (nothing when it is not
// open): the frames it changed, its lowest gain, the energy before and after it (limiter.h).
Limiter::Activity LimiterActivityOf(IDirectMusicPerformance8* performance);

// Where the performance's mix goes: the SDL audio driver ("pulseaudio", "alsa", "dummy", ...),
// "pull" for InitAudioForPulling, "" when it is not open.
std::string OutputDriverOf(IDirectMusicPerformance8* performance);

// Forgets the process's SoundFont and looks for one at these paths from now on, as a fresh process
// would (the "no SoundFont" message may be said once again). False, changing nothing, while a MIDI
// piece is playing anywhere.
bool UseSoundFontPaths(std::vector<std::string> paths);
// The SoundFont list the backend uses by default.
const std::vector<std::string>& DefaultSoundFontPaths();

}  // namespace zr::dmusic::testing
