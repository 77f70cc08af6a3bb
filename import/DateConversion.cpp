#include "import/DateConversion.h"

#include <cctype>
#include <chrono>
#include <ctime>

#include "import/TimeOfDay.h"

namespace cep {

namespace {

enum class Order { MDY, DMY, YMD };

Order OrderOf(const std::string& format) {
    for (char c : format) {
        switch (std::tolower(static_cast<unsigned char>(c))) {
            case 'd':
                return Order::DMY;
            case 'y':
            case 'e':
                return Order::YMD;
            case 'm':
                return Order::MDY;
            default:
                break;
        }
    }
    return Order::MDY;
}

class Scanner {
  public:
    explicit Scanner(std::string_view text) : text_(text) {}

    void SkipBlanks() {
        while (pos_ < text_.size() && text_[pos_] == ' ')
            ++pos_;
    }
    // A run of digits; reading stops once the value has reached 1000.
    bool Number(int& value, int& digits) {
        SkipBlanks();
        value = 0;
        digits = 0;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])) &&
               value < 1000) {
            value = value * 10 + (text_[pos_] - '0');
            ++digits;
            ++pos_;
        }
        return digits > 0;
    }
    bool Separator(char separator) {
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == separator) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos_ == text_.size();
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysIn(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

}  // namespace

std::optional<Date> StrToDate(std::string_view text, const RegionalSettings& settings,
                              int currentYear) {
    Scanner scan(text);
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

    const Order order = OrderOf(settings.shortDateFormat);
    Date date;
    int yearDigits = 4;
    if (count == 2) {
        date.year = currentYear;
        if (order == Order::DMY) {
            date.day = n[0], date.month = n[1];
        } else {
            date.month = n[0], date.day = n[1];
        }
    } else {
        switch (order) {
            case Order::DMY:
                date.day = n[0], date.month = n[1], date.year = n[2], yearDigits = digits[2];
                break;
            case Order::MDY:
                date.month = n[0], date.day = n[1], date.year = n[2], yearDigits = digits[2];
                break;
            case Order::YMD:
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

std::optional<Date> StrToDate(std::string_view text, const RegionalSettings& settings) {
    return StrToDate(text, settings, LocalTime(std::time(nullptr)).tm_year + 1900);
}

}  // namespace cep
