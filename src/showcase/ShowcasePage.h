#pragma once

// The showcase's pages, in French, for a phone: plain HTML and CSS, one small script of our own
// for the running total (the page works without it), nothing from elsewhere. Every text given is
// escaped here.

#include "sales/PriceList.h"
#include "showcase/ShowcaseCatalogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin::ShowcasePage {

QByteArray search(const QString& text, const QList<ShowcaseCatalogue::Rider>& found, bool searched);
QByteArray rider(const ShowcaseCatalogue::Rider& rider, const QList<ShowcaseCatalogue::Photo>& photos,
                 const QStringList& formats, const QString& error = {}, const PriceList& prices = {});
// `total` in cents, said when the stand has prices.
QByteArray confirmation(const QString& name, int count, std::optional<qint64> total = std::nullopt);
// The script of the rider's page and its hash for the page's Content-Security-Policy.
const QByteArray& script();
const QByteArray& scriptHash();
QByteArray message(const QString& title, const QString& text);

} // namespace tavrin::ShowcasePage
