#pragma once

// The number of a photo, read from a file name (DSC_0042.JPG) or typed in a row (42, DSC_0042).
// Photo numbers order a folder of photos so that it can be cut into one range per row.

#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <compare>
#include <optional>

namespace tavrin {

struct PhotoNumber {
    // The text before the number, trimmed of " _-." and upper-cased; may be empty.
    QString prefix;
    // The value of the last run of digits.
    qint64 value = 0;
    // The number of characters of that run, leading zeros included.
    int width = 0;
    // The whole text, trimmed and upper-cased, extension included.
    QString raw;

    // None for a blank text or one without a run of ASCII digits before its extension.
    static std::optional<PhotoNumber> parse(QStringView text);

    // The prefix then the value padded with zeros to the width: DSC0042.
    QString formatted() const;

    bool operator==(const PhotoNumber&) const = default;
    // By value, then prefix, width and raw text.
    std::strong_ordering operator<=>(const PhotoNumber& other) const;
};

size_t qHash(const PhotoNumber& number, size_t seed = 0) noexcept;

} // namespace tavrin
