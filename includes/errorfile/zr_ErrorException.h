// Error reports: an error number of the program's own, a message and, for DirectX failures, the
// failed result. A report is either raised, and then ends the program at the top level after its
// log entry and message box, or only appended to the log, after which the caller goes on.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <string>

// The log file that every report is appended to, in the working directory.
inline constexpr const char* kErrorLogFile = "error.log";

class zr_ErrorException {
 public:
  zr_ErrorException();
  zr_ErrorException(std::string file, unsigned line, unsigned errorNumber, std::string message);
  zr_ErrorException(unsigned errorNumber, std::string message, int rawText);
  zr_ErrorException(const zr_ErrorException&) = default;
  zr_ErrorException& operator=(const zr_ErrorException&) = default;
  // Not virtual: exceptions are values and nothing deletes one through a base pointer.
  ~zr_ErrorException() = default;

  // Fills logText and displayText from the fields.
  virtual void GenerateText();
  // Appends the log text (or, for a raw text, the message) to the named file.
  virtual void WriteErrorToLog(const char* fileName);
  // Shows the report in a message box with the caption "Error"; returns when it is closed.
  void DisplayError();
  // Rebuilds logText in the short "time ** Error_n ** message" form and returns it.
  const char* GetLogErrorText();

  std::string message;
  std::string file;
  std::string displayText;
  std::string logText;
  std::uint32_t line;
  std::uint32_t errorNumber;
  std::int32_t rawText;
};

class DXzr_ErrorException : public zr_ErrorException {
 public:
  DXzr_ErrorException(unsigned errorNumber, HRESULT result, std::string message);
  DXzr_ErrorException(const DXzr_ErrorException&) = default;
  DXzr_ErrorException& operator=(const DXzr_ErrorException&) = default;

  // The display text names the result and describes it; the log text does not.
  void GenerateText() override;
  // Appends logText, whatever rawText holds.
  void WriteErrorToLog(const char* fileName) override;
  // The texts as GenerateText left them; nothing is rebuilt.
  const char* GetLogErrorText() const;
  const char* GetDisplayErrorText() const;

  HRESULT result;
};

// Reports a failed result. Returns 0 when `hr` is a success code. On failure it raises a report
// when `throwOnError` is true; otherwise it appends the report to the log, traces it to the
// debugger output and returns 1.
int DXTestForError(HRESULT hr, const char* message, unsigned errorNumber, bool throwOnError);

// Reports a failure of the program's own: raises it, or appends it to the log and returns.
void ExceptionGameError(const char* file, unsigned line, unsigned errorNumber, const char* message,
                        bool throwOnError);

// The clock that time stamps read. Tests put a fixed one in; null restores the system clock.
void zr_SetErrorClock(std::time_t (*clock)());
