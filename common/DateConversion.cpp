#include "common/DateConversion.h"

#include <cctype>
#include <chrono>
#include <ctime>

#include "common/TimeOfDay.h"

namespace cep {

namespace {

enum class TOrder { MDY, DMY, YMD };

TOrder OrderOf(const std::string& format) {
    for (char c : format) {
        switch (std::tolower(static_cast<unsigned char>(c))) {
            case 'd':
                return TOrder::DMY;
            case 'y':
            case 'e':
                return TOrder::YMD;
            case 'm':
                return TOrder::MDY;
            default:
                break;
        }
    }
    return TOrder::MDY;
}

class TScanner {
  public:
    explicit TScanner(std::string_view text) : FText(text) {}

    void SkipBlanks() {
        while (FPos < FText.size() && FText[FPos] == ' ')
            ++FPos;
    }
    // A run of digits; reading stops once the value has reached 1000.
    bool Number(int& value, int& digits) {
        SkipBlanks();
        value = 0;
        digits = 0;
        while (FPos < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos])) &&
               value < 1000) {
            value = value * 10 + (FText[FPos] - '0');
            ++digits;
            ++FPos;
        }
        return digits > 0;
    }
    bool Separator(char separator) {
        SkipBlanks();
        if (FPos < FText.size() && FText[FPos] == separator) {
            ++FPos;
            return true;
        }
        return false;
    }
    bool AtEnd() {
        SkipBlanks();
        return FPos == FText.size();
    }

  private:
    std::string_view FText;
    std::size_t FPos = 0;
};

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysIn(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

}  // namespace

std::optional<TDate> StrToDate(std::string_view text, const TRegionalSettings& settings,
                               int currentYear) {
    TScanner scan(text);
    int n[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int count = 0;
    if (!scan.Number(n[0], digits[0]) || !scan.Separator(settings.dateSeparator) ||
        !scan.Number(n[1], digits[1]))
        return std::nullopt;
    count = 2;
    if (scan.Separator(settings.dateSeparator)) {
        if (scan.Number(n[2], digits[2])) {
            count = 3;
            scan.Separator(settings.dateSeparator);  // at most one more
        }
    }
    if (!scan.AtEnd())
        return std::nullopt;

    const TOrder order = OrderOf(settings.shortDateFormat);
    TDate date;
    int yearDigits = 4;
    if (count == 2) {
        date.year = currentYear;
        if (order == TOrder::DMY) {
            date.day = n[0], date.month = n[1];
        } else {
            date.month = n[0], date.day = n[1];
        }
    } else {
        switch (order) {
            case TOrder::DMY:
                date.day = n[0], date.month = n[1], date.year = n[2], yearDigits = digits[2];
                break;
            case TOrder::MDY:
                date.month = n[0], date.day = n[1], date.year = n[2], yearDigits = digits[2];
                break;
            case TOrder::YMD:
                date.year = n[0], date.month = n[1], date.day = n[2], yearDigits = digits[0];
                break;
        }
        if (yearDigits <= 2) {
            const int threshold = currentYear - 50;
            date.year += threshold / 100 * 100;
            if (date.year < threshold)
                date.year += 100;
        }
    }
    if (date.year < 1 || date.year > 9999 || date.month < 1 || date.month > 12 || date.day < 1 ||
        date.day > DaysIn(date.year, date.month))
        return std::nullopt;
    return date;
}

std::optional<TDate> StrToDate(std::string_view text, const TRegionalSettings& settings) {
    return StrToDate(text, settings, LocalTime(std::time(nullptr)).tm_year + 1900);
}

}  // namespace cep
