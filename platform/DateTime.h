// TDateTime: a day count from 1899-12-30 whose fraction is the time of day, and the date-time
// texts the station reads and writes.
#pragma once

#include <QString>
#include <optional>

namespace vigil {

using TDateTime = double;

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, msec = 0;
};

// Returns nothing when a part is out of range (month 13, 31 February, hour 24 ...).
std::optional<TDateTime> EncodeDateTime(const DateTimeParts& p);
DateTimeParts DecodeDateTime(TDateTime t);

TDateTime DatePart(TDateTime t);  // midnight of that day
TDateTime TimePart(TDateTime t);  // fraction of the day, 0 <= f < 1

// "2007-10-1 8:05:00"; a value at exactly midnight gives the date alone ("2007-10-1").
QString DateTimeToStr(TDateTime t);
// "8:05:00"
QString TimeToStr(TDateTime t);
// Accept what the two writers above produce (also "/" between date parts and a time
// without seconds); nothing when the text does not parse. StrToDateTime also takes a
// time alone (date part 0).
std::optional<TDateTime> StrToDateTime(const QString& text);
std::optional<TDateTime> StrToTime(const QString& text);

// Patterns: yyyy yy mm m dd d hh h nn n ss s zzz, text in double or single quotes, anything
// else copied. "yyyymmdd", "hhnnss" and "yyyymmddhhnnss" name the station's files.
QString FormatDateTime(const QString& pattern, TDateTime t);

// Clock seam: everything that asks for "now" goes through a Clock, so tests can set it.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual TDateTime Now() const = 0;
};

// Local wall-clock time.
class SystemClock final : public Clock {
 public:
  TDateTime Now() const override;
};

// A clock that stands still until told otherwise.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(TDateTime start = 0) : now_(start) {}
  TDateTime Now() const override { return now_; }
  void Set(TDateTime t) { now_ = t; }
  void AdvanceSeconds(double seconds) { now_ += seconds / 86400.0; }

 private:
  TDateTime now_;
};

}  // namespace vigil
