#include "showcase/ShowcasePage.h"

#include "sales/Money.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

namespace tavrin::ShowcasePage {

namespace {

QString h(const QString& text) { return text.toHtmlEscaped(); }

// Large touch targets, one column, nothing wider than the screen.
const char* const style =
    "*{box-sizing:border-box}html{-webkit-text-size-adjust:100%}"
    "body{font-family:system-ui,sans-serif;margin:0 auto;max-width:48em;padding:12px;color:#1d1d1f;background:#f5f5f7;"
    "font-size:18px;line-height:1.4;overflow-wrap:anywhere}"
    "h1{font-size:1.4em;margin:.3em 0}a{color:#0b57d0}"
    "label{display:block;font-weight:600;margin:.6em 0 .2em}"
    "input[type=search],input[type=text],input[type=tel],select{width:100%;min-height:48px;font-size:18px;padding:8px;"
    "border:1px solid #999;border-radius:10px;background:#fff}"
    "button{width:100%;min-height:52px;font-size:19px;font-weight:700;border:0;border-radius:12px;background:#0b57d0;"
    "color:#fff;margin-top:12px}"
    "ul{list-style:none;padding:0;margin:0}li a{display:block;padding:14px;margin:8px 0;background:#fff;border-radius:12px;"
    "text-decoration:none;min-height:48px;box-shadow:0 1px 3px #0002}"
    ".photo{background:#fff;border-radius:12px;margin:12px 0;padding:8px;box-shadow:0 1px 3px #0002}"
    ".photo img{display:block;width:100%;height:auto;border-radius:8px;background:#ddd}"
    ".pick{display:flex;align-items:center;gap:10px;min-height:48px;font-weight:600;margin:6px 0}"
    ".pick input{width:32px;height:32px;flex:none}"
    ".error{background:#fde8e8;color:#8a1c1c;padding:10px;border-radius:10px}"
    ".done{background:#e6f4ea;color:#0d652d;padding:14px;border-radius:12px;font-size:1.2em}"
    ".price{font-weight:600;margin-left:.4em}.total{font-size:1.2em;font-weight:700;margin:.8em 0 0}";

// The running total: the same cheapest combination as the stand's (packs of a count, every file
// of the rider), for the photos ticked.
const char* const runningTotal =
    "(function(){var f=document.querySelector('form[data-prices]');if(!f)return;"
    "var P=JSON.parse(f.getAttribute('data-prices'));"
    "function eur(c){return String(Math.floor(c/100)).replace(/\\B(?=(\\d{3})+(?!\\d))/g,'\\u202f')+','+String(c%100).padStart(2,'0')+' \\u20ac';}"
    "function cost(p,n){var k=p.packs||[],c=[0];for(var i=1;i<=n;i++){var b=c[i-1]+p.price;"
    "k.forEach(function(q){if(q.count>0)b=Math.min(b,c[Math.max(0,i-q.count)]+q.price);});c.push(b);}"
    "var best=c[n];k.forEach(function(q){if(q.count===0&&n>0)best=Math.min(best,q.price);});return best;}"
    "function update(){var n={};f.querySelectorAll('input[name=photo]').forEach(function(b){"
    "var s=document.getElementById('f'+b.value),e=document.getElementById('p'+b.value),p=P[s.value];"
    "if(e)e.textContent=p?eur(p.price):'';if(b.checked)n[s.value]=(n[s.value]||0)+1;});"
    "var t=0;for(var x in n)if(P[x])t+=cost(P[x],n[x]);var o=document.getElementById('total');"
    "o.textContent=eur(t);o.parentNode.hidden=false;}"
    "f.addEventListener('change',update);update();})();";

QByteArray document(const QString& title, const QString& body)
{
    return (QStringLiteral("<!doctype html>\n<html lang=\"fr\"><head><meta charset=\"utf-8\">"
                           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                           "<title>%1</title><style>%2</style></head><body>\n%3\n</body></html>\n")
                .arg(h(title), QString::fromLatin1(style), body))
        .toUtf8();
}

QString searchForm(const QString& text)
{
    return QStringLiteral("<form method=\"get\" action=\"/\" role=\"search\">"
                          "<label for=\"q\">Rechercher un cavalier</label>"
                          "<input type=\"search\" id=\"q\" name=\"q\" value=\"%1\" autocomplete=\"off\" "
                          "placeholder=\"Nom ou numéro\" maxlength=\"80\">"
                          "<button type=\"submit\">Rechercher</button></form>")
        .arg(h(text));
}

} // namespace

const QByteArray& script()
{
    static const QByteArray text(runningTotal);
    return text;
}

const QByteArray& scriptHash()
{
    static const QByteArray hash = "'sha256-" + QCryptographicHash::hash(script(), QCryptographicHash::Sha256).toBase64() + "'";
    return hash;
}

QByteArray search(const QString& text, const QList<ShowcaseCatalogue::Rider>& found, bool searched)
{
    QString body = QStringLiteral("<h1>Vos photos du concours</h1>") + searchForm(text);
    if (searched) {
        if (found.isEmpty()) {
            body += QStringLiteral("<p>Aucun cavalier trouvé pour « %1 ».</p>").arg(h(text));
        } else {
            body += QStringLiteral("<ul>");
            for (const ShowcaseCatalogue::Rider& r : found)
                body += QStringLiteral("<li><a href=\"/cavalier/%1\">%2</a></li>").arg(r.id).arg(h(r.name));
            body += QStringLiteral("</ul>");
        }
    }
    return document(QStringLiteral("Vitrine"), body);
}

QByteArray rider(const ShowcaseCatalogue::Rider& rider, const QList<ShowcaseCatalogue::Photo>& photos,
                 const QStringList& formats, const QString& error, const PriceList& prices)
{
    QString body = QStringLiteral("<p><a href=\"/\">← Autre cavalier</a></p><h1>%1</h1>").arg(h(rider.name));
    if (!error.isEmpty()) body += QStringLiteral("<p class=\"error\" role=\"alert\">%1</p>").arg(h(error));
    if (photos.isEmpty()) return document(rider.name, body + QStringLiteral("<p>Pas encore de photo pour ce cavalier.</p>"));
    QString options;
    QJsonObject priced;
    for (const QString& f : formats) {
        const SectionPrice* price = prices.find(f);
        options += QStringLiteral("<option value=\"%1\">%2</option>")
                       .arg(h(f), h(price ? f + QStringLiteral(" — ") + Money::text(price->cents) : f));
        if (price) priced.insert(f, PriceList{{*price}}.toJson().begin().value());
    }
    const QString firstPrice = !formats.isEmpty() && prices.find(formats.first()) ? Money::text(prices.find(formats.first())->cents) : QString();
    body += QStringLiteral("<p>%1 photo%2. Cochez celles que vous voulez et choisissez leur format.</p>"
                           "<form method=\"post\" action=\"/commande\"%4><input type=\"hidden\" name=\"cavalier\" value=\"%3\">")
                .arg(photos.size())
                .arg(photos.size() > 1 ? QStringLiteral("s") : QString())
                .arg(rider.id)
                .arg(priced.isEmpty() ? QString()
                                      : QStringLiteral(" data-prices=\"%1\"").arg(h(QString::fromUtf8(QJsonDocument(priced).toJson(QJsonDocument::Compact)))));
    for (const ShowcaseCatalogue::Photo& p : photos) {
        body += QStringLiteral("<div class=\"photo\"><img src=\"/apercu/%1.jpg\" alt=\"\" loading=\"lazy\" width=\"1600\" height=\"1067\">"
                               "<label class=\"pick\"><input type=\"checkbox\" name=\"photo\" value=\"%1\" aria-label=\"%2\">%2</label>"
                               "<label for=\"f%1\">Format</label><select id=\"f%1\" name=\"format-%1\">%3</select>%4</div>")
                    .arg(p.id)
                    .arg(h(p.name), options,
                         priced.isEmpty() ? QString()
                                          : QStringLiteral("<p>Prix : <span class=\"price\" id=\"p%1\">%2</span></p>").arg(p.id).arg(h(firstPrice)));
    }
    body += QStringLiteral("<label for=\"nom\">Nom</label><input type=\"text\" id=\"nom\" name=\"nom\" required maxlength=\"80\" autocomplete=\"name\">"
                           "<label for=\"tel\">Téléphone</label><input type=\"tel\" id=\"tel\" name=\"telephone\" maxlength=\"30\" autocomplete=\"tel\">"
                           "%1<button type=\"submit\">Envoyer la commande</button></form>%2")
                .arg(priced.isEmpty() ? QString()
                                      : QStringLiteral("<p class=\"total\" role=\"status\" hidden>Total : <output id=\"total\">0,00 €</output></p>"),
                     priced.isEmpty() ? QString() : QStringLiteral("<script>") + QString::fromLatin1(script()) + QStringLiteral("</script>"));
    return document(rider.name, body);
}

QByteArray confirmation(const QString& name, int count, std::optional<qint64> total)
{
    return document(QStringLiteral("Commande envoyée"),
                    QStringLiteral("<p class=\"done\" role=\"status\">Commande envoyée. Merci %1 : %2 photo%3 commandée%3.%4 "
                                   "Passez au stand pour la récupérer.</p><p><a href=\"/\">Rechercher un autre cavalier</a></p>")
                        .arg(h(name))
                        .arg(count)
                        .arg(count > 1 ? QStringLiteral("s") : QString())
                        .arg(total ? QStringLiteral(" Total : ") + h(Money::text(*total)) + u'.' : QString()));
}

QByteArray message(const QString& title, const QString& text)
{
    return document(title, QStringLiteral("<h1>%1</h1><p>%2</p><p><a href=\"/\">Retour à la recherche</a></p>").arg(h(title), h(text)));
}

} // namespace tavrin::ShowcasePage
