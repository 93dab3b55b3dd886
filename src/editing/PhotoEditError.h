#pragma once

// The failures of editing a photo that the user reads, with their French descriptions.

#include "base/Error.h"

namespace tavrin {

class PhotoEditError : public Error {
public:
    enum class Kind { unreadablePhoto, unreadableWatermark, composeFailed, missingWatermark };

    explicit PhotoEditError(Kind kind) : Error(description(kind)), m_kind(kind) {}
    Kind kind() const noexcept { return m_kind; }

    static QString description(Kind kind);

private:
    Kind m_kind;
};

} // namespace tavrin
