#pragma once

// Why a programme could not be imported; the message is what the user reads.

#include "base/Error.h"

namespace tavrin {

class ImportError : public Error {
public:
    enum class Kind { unreadable, noWebProgramme, webImportFailed };

    // "Impossible de lire ce type de fichier."
    static ImportError unreadable();
    // The page shown holds no start list or competition.
    static ImportError noWebProgramme();
    // A web import failed for the reason given.
    static ImportError webImportFailed(const QString& message);

    Kind kind() const noexcept { return m_kind; }

private:
    ImportError(Kind kind, QString message) : Error(std::move(message)), m_kind(kind) {}
    Kind m_kind;
};

} // namespace tavrin
