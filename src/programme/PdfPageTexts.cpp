// The tavrin_pdf module: the text of a PDF's pages through poppler. A module of its own so that
// poppler and its libraries are loaded by the first PDF read, not by every start of Tavrin.

#include "base/ParallelSlices.h"

#include <QFile>
#include <QStringList>

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>

#include <memory>
#include <vector>

namespace {

using PopplerDocument = std::unique_ptr<poppler::document>;

// Null when the file does not open as a PDF document (damaged, empty, protected by a password).
PopplerDocument openPdf(const std::string& path)
{
    PopplerDocument document(poppler::document::load_from_file(path));
    if (!document || document->is_locked()) return nullptr;
    return document;
}

QString pageText(const poppler::document& document, int index)
{
    const std::unique_ptr<poppler::page> page(document.create_page(index));
    if (!page) return QString();
    // Poppler's strings are UTF-16 already.
    const poppler::ustring text = page->text(poppler::rectf(), poppler::page::physical_layout);
    static_assert(sizeof(poppler::ustring::value_type) == sizeof(QChar));
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

} // namespace

// The text of each page, columns kept apart by runs of spaces; false when the file is no readable PDF.
extern "C" Q_DECL_EXPORT bool tavrin_pdf_page_texts(const QString& path, QStringList& pages)
{
    // Poppler reports damaged files on the console; Tavrin shows its own message instead.
    static const bool silenced = [] {
        poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
        return true;
    }();
    (void)silenced;
    const std::string file = QFile::encodeName(path).toStdString();
    std::vector<PopplerDocument> documents;
    documents.push_back(openPdf(file));
    if (!documents.front()) return false;
    const int count = documents.front()->pages();

    // Pages are independent: a long start list is read on several cores, each thread with a copy
    // of the document of its own (a poppler document is not shared between threads), all opened
    // here because opening is not thread-safe.
    const int slices = tavrin::ParallelSlices::sliceCount(count, 4);
    for (int t = 1; t < slices; ++t) {
        documents.push_back(openPdf(file));
        if (!documents.back()) return false;
    }
    std::vector<QString> texts(static_cast<size_t>(count));
    tavrin::ParallelSlices::run(count, slices, [&](int slice, int begin, int end) {
        for (int i = begin; i < end; ++i) texts[size_t(i)] = pageText(*documents[size_t(slice)], i);
    });
    pages = QStringList(texts.begin(), texts.end());
    return true;
}
