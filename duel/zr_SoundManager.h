// Background music and sound effects through DirectMusic. Effects are played by the file name they
// were loaded under, compared exactly.
#pragma once

#include <dmusici.h>

#include <map>
#include <string>

class zr_SoundManager {
 public:
  zr_SoundManager();
  // Releases every segment, stops and closes the performance, releases the loader, ends COM.
  ~zr_SoundManager();
  zr_SoundManager(const zr_SoundManager&) = delete;
  zr_SoundManager& operator=(const zr_SoundManager&) = delete;

  // Starts COM, the performance (8 channels, dynamic stereo) and the loader, whose search directory
  // becomes "../../media". Nothing is reported: what fails leaves the player silent.
  void Initialise();
  // Loads the music in place of any before; a file that cannot be loaded is told in a message box
  // and leaves no music.
  void AddBackgroundMusic(std::string fileName);
  void PlayBackgroundMusic();
  // Loads an effect under exactly this name, in place of any before; a file that cannot be loaded
  // is told in a message box and leaves the name silent.
  void AddSound(std::string fileName);
  // Plays the effect of this name beside everything already playing; a name never added plays nothing.
  void PlaySoundEffect(std::string fileName);

 private:
  IDirectMusicSegment8* Load(const std::string& fileName, const char* caption);

  IDirectMusicPerformance8* performance_;
  IDirectMusicLoader8* loader_;
  IDirectMusicSegment8* backgroundMusic_;
  std::map<std::string, IDirectMusicSegment8*> sounds_;
  bool comStarted_;
};
