#include "DateTime.h"

#include <QRegularExpression>
#include <chrono>
#include <cmath>
#include <ctime>

namespace vigil {
namespace {

using namespace std::chrono;

constexpr sys_days kEpoch = sys_days{year{1899} / December / 30};
constexpr long long kMsPerDay = 86'400'000;

// Splits t into whole days and milliseconds of the day, rounded to the nearest millisecond
// (so 23:59:59.9996 becomes midnight of the next day, never 24:00:00).
void split(TDateTime t, long long& days, long long& ms) {
  double whole = std::trunc(t);
  ms = std::llround(std::fabs(t - whole) * kMsPerDay);
  days = static_cast<long long>(whole);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    days += t < 0 ? -1 : 1;
  }
}

QString twoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

}  // namespace

std::optional<TDateTime> EncodeDateTime(const DateTimeParts& p) {
  year_month_day ymd{year{p.year}, month{static_cast<unsigned>(p.month)},
                     day{static_cast<unsigned>(p.day)}};
  if (p.month < 1 || p.month > 12 || p.day < 1 || !ymd.ok()) return std::nullopt;
  if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 ||
      p.second > 59 || p.msec < 0 || p.msec > 999)
    return std::nullopt;
  double days = static_cast<double>((sys_days{ymd} - kEpoch).count());
  double frac = ((p.hour * 60.0 + p.minute) * 60.0 + p.second + p.msec / 1000.0) / 86400.0;
  // Before the epoch the fraction still counts forward within the day.
  return days >= 0 ? days + frac : days - frac;
}

DateTimeParts DecodeDateTime(TDateTime t) {
  long long days, ms;
  split(t, days, ms);
  year_month_day ymd{kEpoch + std::chrono::days{days}};
  DateTimeParts p;
  p.year = static_cast<int>(ymd.year());
  p.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  p.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  p.hour = static_cast<int>(ms / 3'600'000);
  p.minute = static_cast<int>(ms / 60'000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.msec = static_cast<int>(ms % 1000);
  return p;
}

TDateTime DatePart(TDateTime t) {
  long long days, ms;
  split(t, days, ms);
  return static_cast<double>(days);
}

TDateTime TimePart(TDateTime t) {
  long long days, ms;
  split(t, days, ms);
  return static_cast<double>(ms) / kMsPerDay;
}

QString TimeToStr(TDateTime t) {
  DateTimeParts p = DecodeDateTime(t);
  return QStringLiteral("%1:%2:%3").arg(p.hour).arg(twoDigits(p.minute), twoDigits(p.second));
}

QString DateTimeToStr(TDateTime t) {
  DateTimeParts p = DecodeDateTime(t);
  QString date = QStringLiteral("%1-%2-%3").arg(p.year).arg(p.month).arg(p.day);
  if (p.hour == 0 && p.minute == 0 && p.second == 0) return date;
  return date + QLatin1Char(' ') + TimeToStr(t);
}

namespace {

std::optional<TDateTime> parseTime(const QString& text, DateTimeParts base) {
  static const QRegularExpression re(QStringLiteral(R"(^(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?$)"));
  auto m = re.match(text);
  if (!m.hasMatch()) return std::nullopt;
  base.hour = m.captured(1).toInt();
  base.minute = m.captured(2).toInt();
  base.second = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
  return EncodeDateTime(base);
}

}  // namespace

std::optional<TDateTime> StrToTime(const QString& text) {
  return parseTime(text.trimmed(), DateTimeParts{});
}

std::optional<TDateTime> StrToDateTime(const QString& text) {
  static const QRegularExpression re(
      QStringLiteral(R"(^(\d{1,4})([-/])(\d{1,2})\2(\d{1,2})(?:\s+(\S+))?$)"));
  QString t = text.trimmed();
  auto m = re.match(t);
  if (!m.hasMatch()) return parseTime(t, DateTimeParts{});
  DateTimeParts p;
  p.year = m.captured(1).toInt();
  p.month = m.captured(3).toInt();
  p.day = m.captured(4).toInt();
  if (m.captured(5).isEmpty()) return EncodeDateTime(p);
  return parseTime(m.captured(5), p);
}

QString FormatDateTime(const QString& pattern, TDateTime t) {
  DateTimeParts p = DecodeDateTime(t);
  QString out;
  const qsizetype n = pattern.size();
  auto run = [&](qsizetype i) {
    qsizetype j = i;
    while (j < n && pattern[j].toLower() == pattern[i].toLower()) ++j;
    return j - i;
  };
  for (qsizetype i = 0; i < n;) {
    QChar c = pattern[i].toLower();
    if (c == u'"' || c == u'\'') {
      qsizetype end = pattern.indexOf(pattern[i], i + 1);
      if (end < 0) end = n;
      out += pattern.mid(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    qsizetype len = run(i);
    auto num = [&](int v, qsizetype width) {
      out += width >= 2 ? QStringLiteral("%1").arg(v, static_cast<int>(width), 10, QLatin1Char('0'))
                        : QString::number(v);
    };
    switch (c.unicode()) {
      case u'y':
        if (len >= 4) { num(p.year, 4); i += 4; }
        else { num(p.year % 100, 2); i += len >= 2 ? 2 : len; }
        continue;
      case u'm': num(p.month, len >= 2 ? 2 : 1); i += len >= 2 ? 2 : 1; continue;
      case u'd': num(p.day, len >= 2 ? 2 : 1); i += len >= 2 ? 2 : 1; continue;
      case u'h': num(p.hour, len >= 2 ? 2 : 1); i += len >= 2 ? 2 : 1; continue;
      case u'n': num(p.minute, len >= 2 ? 2 : 1); i += len >= 2 ? 2 : 1; continue;
      case u's': num(p.second, len >= 2 ? 2 : 1); i += len >= 2 ? 2 : 1; continue;
      case u'z':
        if (len >= 3) { num(p.msec, 3); i += 3; }
        else { out += QString::number(p.msec); i += len; }
        continue;
      default: out += pattern[i]; ++i;
    }
  }
  return out;
}

TDateTime SystemClock::Now() const {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  DateTimeParts p{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour,        local.tm_min,     local.tm_sec < 60 ? local.tm_sec : 59,
                  static_cast<int>(ts.tv_nsec / 1'000'000)};
  return EncodeDateTime(p).value_or(0);
}

}  // namespace vigil
