#include "errorfile/zr_ErrorException.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

#include "errorfile/DXErrorLookup.h"

namespace {

// Every generated text fits this buffer: at most 255 characters, longer ones are cut.
constexpr size_t kTextSize = 256;

// Where the trace of a logged DirectX report says it comes from.
constexpr const char* kTraceFile = __FILE__;
constexpr unsigned long kTraceLine = 240;

std::time_t (*g_clock)() = nullptr;

// "Sun Dec 06 21:34:28 2026\n": the asctime form, but with the day of the month always in two
// digits (asctime pads it with a blank).
std::string TimeStamp() {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t now = g_clock != nullptr ? g_clock() : std::time(nullptr);
  std::tm t{};
  if (localtime_r(&now, &t) == nullptr) t = std::tm{};
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d\n", kDays[(t.tm_wday % 7 + 7) % 7],
                kMonths[(t.tm_mon % 12 + 12) % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                t.tm_year + 1900);
  return text;
}

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
  char text[kTextSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

std::string DisplayTextOf(const zr_ErrorException& e) {
  if (e.line != 0)
    return Format("Error: %d\nIn File:%s\nIn Line:%d\n\nMessage:\n\n%s\n\n", static_cast<int>(e.errorNumber),
                  e.file.c_str(), static_cast<int>(e.line), e.message.c_str());
  return Format("Error: %d\n\nMessage:\n\n%s\n\n", static_cast<int>(e.errorNumber), e.message.c_str());
}

// Appends text to the file as the platform's text mode stores it: every line feed becomes a
// carriage return and a line feed. A file that cannot be opened is left alone.
void AppendToLog(const char* fileName, const std::string& text) {
  if (fileName == nullptr) return;
  std::FILE* f = std::fopen(fileName, "ab");
  if (f == nullptr) return;
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  std::fwrite(out.data(), 1, out.size(), f);
  std::fclose(f);
}

}  // namespace

void zr_SetErrorClock(std::time_t (*clock)()) { g_clock = clock; }

zr_ErrorException::zr_ErrorException() : line(0), errorNumber(0), rawText(0) {}

zr_ErrorException::zr_ErrorException(std::string file, unsigned line, unsigned errorNumber, std::string message)
    : message(std::move(message)), file(std::move(file)), line(line), errorNumber(errorNumber), rawText(0) {}

zr_ErrorException::zr_ErrorException(unsigned errorNumber, std::string message, int rawText)
    : message(std::move(message)), line(0), errorNumber(errorNumber), rawText(rawText) {}

void zr_ErrorException::GenerateText() {
  const std::string stamp = TimeStamp();
  if (line != 0)
    logText = Format("Error_%d ** File %s ** Line %d ** Message %s\n", static_cast<int>(errorNumber),
                     file.c_str(), static_cast<int>(line), message.c_str());
  else
    logText = Format("************************ %s*** Error_%d ** %s\n", stamp.c_str(),
                     static_cast<int>(errorNumber), message.c_str());
  displayText = DisplayTextOf(*this);
}

void zr_ErrorException::WriteErrorToLog(const char* fileName) {
  AppendToLog(fileName, rawText != 0 ? message : logText);
}

void zr_ErrorException::DisplayError() {
  const std::string text = rawText != 0 ? message : DisplayTextOf(*this);
  MessageBoxA(nullptr, text.c_str(), "Error", MB_OK);
}

const char* zr_ErrorException::GetLogErrorText() {
  logText = Format("%s ** Error_%d ** %s", TimeStamp().c_str(), static_cast<int>(errorNumber), message.c_str());
  return logText.c_str();
}

DXzr_ErrorException::DXzr_ErrorException(unsigned errorNumber, HRESULT result, std::string message)
    : zr_ErrorException(), result(result) {
  this->message = std::move(message);
  this->errorNumber = errorNumber;
  this->line = 0;
  this->file.clear();
}

void DXzr_ErrorException::GenerateText() {
  const char* name = DXErrorName(result);
  const char* description = DXErrorDescription(result);
  const std::string stamp = TimeStamp();
  logText = Format("************************ %s*** Error_%d ** %s\n", stamp.c_str(), static_cast<int>(errorNumber),
                   message.c_str());
  displayText = Format("Error: %d\n\nMessage:\n\n%s\n\nDirectX Information: Errorname: %s\nDescripton:\n%s",
                       static_cast<int>(errorNumber), message.c_str(), name, description);
}

void DXzr_ErrorException::WriteErrorToLog(const char* fileName) { AppendToLog(fileName, logText); }

const char* DXzr_ErrorException::GetLogErrorText() const { return logText.c_str(); }

const char* DXzr_ErrorException::GetDisplayErrorText() const { return displayText.c_str(); }

int DXTestForError(HRESULT hr, const char* message, unsigned errorNumber, bool throwOnError) {
  if (hr >= 0) return 0;
  if (message == nullptr) message = "";
  DXzr_ErrorException report(errorNumber, hr, message);
  report.GenerateText();
  if (throwOnError) {
    // The finished DirectX text travels as a raw text: the top level logs and shows it unchanged.
    zr_ErrorException raised(errorNumber, report.GetDisplayErrorText(), 1);
    throw raised;
  }
  report.WriteErrorToLog(kErrorLogFile);
  char trace[kTextSize];
  std::snprintf(trace, sizeof trace, "%s\n\r", report.GetLogErrorText());
  DXErrorTrace(kTraceFile, kTraceLine, S_OK, trace, false);
  return 1;
}

void ExceptionGameError(const char* file, unsigned line, unsigned errorNumber, const char* message,
                        bool throwOnError) {
  zr_ErrorException report(file != nullptr ? file : "", line, errorNumber, message != nullptr ? message : "");
  if (throwOnError) throw report;
  report.GenerateText();
  report.GetLogErrorText();
  report.WriteErrorToLog(kErrorLogFile);
}
