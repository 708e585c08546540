// SDL audio with the dummy driver to fall back on.
#include "audio_output.h"

#include <dlfcn.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "mixer.h"
#include "sound_files.h"

namespace zr::dmusic {
namespace {

// libasound reports every failed step of opening a device on stderr. SDL loads the library
// itself; when it is loaded, its messages are kept here and the first is told in one line.
std::string firstAlsaMessage;

void AlsaMessage(const char*, int, const char*, int, const char* format, ...) {
  if (!firstAlsaMessage.empty()) return;
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  firstAlsaMessage = text;
}

using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);
using SetAlsaHandler = int (*)(AlsaHandler);

// Points ALSA's messages at `handler` (null: back to stderr), if SDL has loaded ALSA.
void RouteAlsaMessages(AlsaHandler handler) {
  void* library = dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) return;
  if (auto set = reinterpret_cast<SetAlsaHandler>(dlsym(library, "snd_lib_error_set_handler"))) set(handler);
  dlclose(library);
}

}  // namespace

void AudioOutput::Pull(void* mixer, Uint8* stream, int bytes) {
  static_cast<Mixer*>(mixer)->Render(reinterpret_cast<float*>(stream),
                                     static_cast<std::size_t>(bytes) / (kMixChannels * sizeof(float)));
}

bool AudioOutput::TryOpen(Mixer* mixer) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    OutputDebugStringA((std::string("sound: SDL audio did not start (") + SDL_GetError() + ")\n").c_str());
    return false;
  }
  const char* driver = SDL_GetCurrentAudioDriver();
  bool alsa = driver != nullptr && std::string(driver) == "alsa";
  if (alsa) {
    firstAlsaMessage.clear();
    RouteAlsaMessages(AlsaMessage);
  }
  SDL_AudioSpec want{};
  want.freq = kMixRate;
  want.format = AUDIO_F32SYS;
  want.channels = kMixChannels;
  want.samples = kBufferFrames;
  want.callback = Pull;
  want.userdata = mixer;
  SDL_AudioSpec have{};
  // No changes allowed: SDL converts our format to the device's when they differ.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (alsa) RouteAlsaMessages(nullptr);
  if (device_ == 0) {
    std::string message = std::string("sound: the ") + (driver ? driver : "default") +
                          " audio driver opened no device (" + SDL_GetError() + ")";
    if (alsa && !firstAlsaMessage.empty()) message += "; libasound: " + firstAlsaMessage;
    OutputDebugStringA((message + "\n").c_str());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  driver_ = driver ? driver : "";
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

bool AudioOutput::Open(Mixer* mixer) {
  Close();
  if (TryOpen(mixer)) return true;
  // The dummy driver, whatever SDL_AUDIODRIVER says; the hint goes back to the environment's after.
  SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
  bool opened = TryOpen(mixer);
  SDL_ResetHint(SDL_HINT_AUDIODRIVER);
  if (opened) {
    OutputDebugStringA("sound: playing silently on SDL's dummy audio driver\n");
  } else {
    OutputDebugStringA("sound: no audio output at all; sounds will not advance\n");
  }
  return opened;
}

void AudioOutput::Close() {
  if (device_ == 0) return;
  SDL_CloseAudioDevice(device_);  // waits for the callback to return
  device_ = 0;
  driver_.clear();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace zr::dmusic
