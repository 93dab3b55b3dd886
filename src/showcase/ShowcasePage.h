#pragma once

// The showcase's pages, in French, for a phone: plain HTML and CSS, no script, nothing from
// elsewhere. Every text given is escaped here.

#include "showcase/ShowcaseCatalogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tavrin::ShowcasePage {

QByteArray search(const QString& text, const QList<ShowcaseCatalogue::Rider>& found, bool searched);
QByteArray rider(const ShowcaseCatalogue::Rider& rider, const QList<ShowcaseCatalogue::Photo>& photos,
                 const QStringList& formats, const QString& error = {});
QByteArray confirmation(const QString& name, int count);
QByteArray message(const QString& title, const QString& text);

} // namespace tavrin::ShowcasePage
