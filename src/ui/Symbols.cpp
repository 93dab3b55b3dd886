#include "ui/Symbols.h"

#include <QApplication>
#include <QPalette>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QtMath>

#include <utility>

namespace tavrin::Symbols {

namespace {

// Our drawings work on a 24 × 24 grid with the pen and brush already set to the tint.
using Drawing = void (*)(QPainter&);

void drawTableCells(QPainter& p, const QRectF& r)
{
    p.drawRoundedRect(r, 2, 2);
    for (int i = 1; i < 3; ++i) {
        const qreal y = r.top() + r.height() * i / 3;
        p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
        const qreal x = r.left() + r.width() * i / 3;
        p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
    }
}

void drawCalendar(QPainter& p, const QRectF& r)
{
    p.drawRoundedRect(r, 2.5, 2.5);
    const qreal band = r.top() + r.height() * 0.3;
    p.drawLine(QPointF(r.left(), band), QPointF(r.right(), band));
    const qreal ring1 = r.left() + r.width() * 0.28, ring2 = r.right() - r.width() * 0.28;
    p.drawLine(QPointF(ring1, r.top() - 2), QPointF(ring1, r.top() + 2));
    p.drawLine(QPointF(ring2, r.top() - 2), QPointF(ring2, r.top() + 2));
}

void drawPlus(QPainter& p, QPointF centre, qreal half)
{
    p.drawLine(centre - QPointF(half, 0), centre + QPointF(half, 0));
    p.drawLine(centre - QPointF(0, half), centre + QPointF(0, half));
}

// A circular arc of the circle around `centre` ending in an arrowhead at `endDegrees`.
void drawArrowArc(QPainter& p, QPointF centre, qreal radius, qreal startDegrees, qreal sweepDegrees)
{
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QPainterPath arc;
    arc.arcMoveTo(box, startDegrees);
    arc.arcTo(box, startDegrees, sweepDegrees);
    p.save();
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    p.restore();
    const QPointF tip = arc.currentPosition();
    const qreal angle = arc.angleAtPercent(1.0);
    QLineF wing1 = QLineF::fromPolar(3.5, angle + 180 - 40).translated(tip);
    QLineF wing2 = QLineF::fromPolar(3.5, angle + 180 + 40).translated(tip);
    p.drawLine(wing1);
    p.drawLine(wing2);
}

void drawQuestionMark(QPainter& p, QPointF centre)
{
    QPainterPath q;
    q.moveTo(centre + QPointF(-2, -1.8));
    q.cubicTo(centre + QPointF(-2, -4.4), centre + QPointF(2.4, -4.4), centre + QPointF(2.2, -1.8));
    q.cubicTo(centre + QPointF(2.1, 0), centre + QPointF(0, 0), centre + QPointF(0, 1.6));
    p.save();
    p.setBrush(Qt::NoBrush);
    p.drawPath(q);
    p.restore();
    p.drawPoint(centre + QPointF(0, 4));
}

// Knocks a stroke out of what is already drawn, for marks inside filled shapes.
template <typename F>
void knockOut(QPainter& p, F&& draw)
{
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    draw();
    p.restore();
}

// A five-pointed star filling most of the grid.
QPolygonF starShape()
{
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const qreal radius = i % 2 ? 3.8 : 9.0;
        const qreal angle = qDegreesToRadians(-90.0 + i * 36.0);
        star << QPointF(12 + radius * qCos(angle), 12.8 + radius * qSin(angle));
    }
    return star;
}

struct Entry {
    const char* symbol;
    const char* freedesktop;
    Drawing draw;
};

const Entry kTable[] = {
    {"basket", "",
     [](QPainter& p) {
         p.drawLine(QPointF(3, 10), QPointF(21, 10));
         p.save();
         p.setBrush(Qt::NoBrush);
         p.drawPolyline(QPolygonF{QPointF(4.5, 10), QPointF(6.5, 20), QPointF(17.5, 20), QPointF(19.5, 10)});
         p.drawArc(QRectF(7, 4, 10, 12), 0, 180 * 16);
         p.restore();
         p.drawLine(QPointF(9.8, 13), QPointF(10.2, 17));
         p.drawLine(QPointF(14.2, 13), QPointF(13.8, 17));
     }},
    {"tablecells", "x-office-spreadsheet",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         drawTableCells(p, QRectF(3, 5, 18, 14));
     }},
    {"tablecells.badge.plus", "",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         drawTableCells(p, QRectF(2.5, 4, 15, 12));
         knockOut(p, [&] { p.drawEllipse(QPointF(18, 17.5), 5.5, 5.5); });
         drawPlus(p, QPointF(18, 17.5), 3.5);
     }},
    {"shippingbox", "package-x-generic",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawPolygon(QPolygonF{QPointF(12, 3), QPointF(21, 7.5), QPointF(21, 16.5), QPointF(12, 21), QPointF(3, 16.5),
                                 QPointF(3, 7.5)});
         p.drawPolyline(QPolygonF{QPointF(3, 7.5), QPointF(12, 12), QPointF(21, 7.5)});
         p.drawLine(QPointF(12, 12), QPointF(12, 21));
         p.drawLine(QPointF(7.5, 5.25), QPointF(16.5, 9.75));
     }},
    {"plus", "list-add", [](QPainter& p) { drawPlus(p, QPointF(12, 12), 7); }},
    {"pencil", "document-edit",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawPolygon(QPolygonF{QPointF(15.5, 4.5), QPointF(19.5, 8.5), QPointF(8.5, 19.5), QPointF(4.5, 19.5),
                                 QPointF(4.5, 15.5)});
         p.drawLine(QPointF(13, 7), QPointF(17, 11));
     }},
    {"trash", "user-trash",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawLine(QPointF(4, 6.5), QPointF(20, 6.5));
         p.drawPolyline(QPolygonF{QPointF(9.5, 6.5), QPointF(9.5, 4), QPointF(14.5, 4), QPointF(14.5, 6.5)});
         p.drawPolyline(QPolygonF{QPointF(6, 6.5), QPointF(7, 20), QPointF(17, 20), QPointF(18, 6.5)});
         p.drawLine(QPointF(10, 10), QPointF(10, 16.5));
         p.drawLine(QPointF(14, 10), QPointF(14, 16.5));
     }},
    {"calendar", "x-office-calendar",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         drawCalendar(p, QRectF(3.5, 5, 17, 15.5));
     }},
    {"calendar.badge.plus", "appointment-new",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         drawCalendar(p, QRectF(2.5, 4.5, 15, 13.5));
         knockOut(p, [&] { p.drawEllipse(QPointF(18, 18), 5.5, 5.5); });
         drawPlus(p, QPointF(18, 18), 3.5);
     }},
    {"checkmark.circle.fill", "",
     [](QPainter& p) {
         p.save();
         p.setPen(Qt::NoPen);
         p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
         p.restore();
         knockOut(p, [&] {
             p.setBrush(Qt::NoBrush);
             p.drawPolyline(QPolygonF{QPointF(7.5, 12.5), QPointF(10.5, 15.5), QPointF(16.5, 9)});
         });
     }},
    {"circle", "",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawEllipse(QPointF(12, 12), 9, 9);
     }},
    {"circle.lefthalf.filled", "",
     [](QPainter& p) {
         p.save();
         p.setPen(Qt::NoPen);
         p.drawPie(QRectF(3, 3, 18, 18), 90 * 16, 180 * 16);
         p.restore();
         p.setBrush(Qt::NoBrush);
         p.drawEllipse(QPointF(12, 12), 9, 9);
     }},
    {"arrow.triangle.2.circlepath", "view-refresh",
     [](QPainter& p) {
         drawArrowArc(p, QPointF(12, 12), 7.5, 20, 140);
         drawArrowArc(p, QPointF(12, 12), 7.5, 200, 140);
     }},
    {"arrow.clockwise", "view-refresh", [](QPainter& p) { drawArrowArc(p, QPointF(12, 12.5), 7.5, 130, -310); }},
    {"rotate.right", "object-rotate-right",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawRoundedRect(QRectF(3.5, 10, 11, 10.5), 2, 2);
         drawArrowArc(p, QPointF(13, 10), 6, 160, -120);
     }},
    {"person.crop.circle.badge.questionmark", "",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawEllipse(QPointF(10.5, 12), 8.5, 8.5);
         p.drawEllipse(QPointF(10.5, 9.5), 3, 3);
         p.drawArc(QRectF(5, 14, 11, 8), 30 * 16, 120 * 16);
         knockOut(p, [&] { p.drawEllipse(QPointF(18.5, 17.5), 5.5, 5.5); });
         p.save();
         p.setPen(Qt::NoPen);
         p.drawEllipse(QPointF(18.5, 17.5), 5, 5);
         p.restore();
         knockOut(p, [&] { drawQuestionMark(p, QPointF(18.5, 17.5)); });
     }},
    {"crop", "",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawPolyline(QPolygonF{QPointF(6.5, 2.5), QPointF(6.5, 17.5), QPointF(21.5, 17.5)});
         p.drawPolyline(QPolygonF{QPointF(2.5, 6.5), QPointF(17.5, 6.5), QPointF(17.5, 21.5)});
     }},
    {"slider.horizontal.3", "",
     [](QPainter& p) {
         for (const auto& [y, knob] : {std::pair(6.0, 15.0), std::pair(12.0, 8.0), std::pair(18.0, 13.0)}) {
             p.drawLine(QPointF(3.5, y), QPointF(20.5, y));
             p.drawEllipse(QPointF(knob, y), 2.2, 2.2);
         }
     }},
    {"printer", "",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawPolyline(QPolygonF{QPointF(7, 8.5), QPointF(7, 3.5), QPointF(17, 3.5), QPointF(17, 8.5)});
         p.drawRoundedRect(QRectF(3, 8.5, 18, 9), 2, 2);
         p.save();
         p.setBrush(p.pen().color());
         p.drawRect(QRectF(7, 14, 10, 6.5));
         p.restore();
     }},
    {"rectangle.bottomthird.inset.filled", "",
     [](QPainter& p) {
         p.save();
         p.setBrush(Qt::NoBrush);
         p.drawRoundedRect(QRectF(3, 4.5, 18, 15), 2.5, 2.5);
         p.restore();
         p.setPen(Qt::NoPen);
         p.drawRoundedRect(QRectF(5.5, 14, 13, 3.5), 1, 1);
     }},
    {"exclamationmark.triangle.fill", "",
     [](QPainter& p) {
         p.save();
         p.setPen(Qt::NoPen);
         p.drawPolygon(QPolygonF{QPointF(12, 2.5), QPointF(22, 20.5), QPointF(2, 20.5)});
         p.restore();
         knockOut(p, [&] {
             p.drawLine(QPointF(12, 8.5), QPointF(12, 13.5));
             p.drawPoint(QPointF(12, 17));
         });
     }},
    {"square.on.square", "edit-copy",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawRoundedRect(QRectF(8.5, 8.5, 12, 12), 2, 2);
         p.drawPolyline(QPolygonF{QPointF(5.5, 15.5), QPointF(3.5, 15.5), QPointF(3.5, 3.5), QPointF(15.5, 3.5),
                                  QPointF(15.5, 5.5)});
     }},
    {"chevron.down", "pan-down",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawPolyline(QPolygonF{QPointF(6, 9), QPointF(12, 15), QPointF(18, 9)});
     }},
    {"chevron.right", "pan-end",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawPolyline(QPolygonF{QPointF(9, 6), QPointF(15, 12), QPointF(9, 18)});
     }},
    {"chevron.left", "pan-start",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawPolyline(QPolygonF{QPointF(15, 6), QPointF(9, 12), QPointF(15, 18)});
     }},
    {"star", "non-starred",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawPolygon(starShape());
     }},
    {"star.fill", "starred", [](QPainter& p) { p.drawPolygon(starShape()); }},
    {"book", "user-bookmarks",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawPolyline(QPolygonF{QPointF(12, 6.5), QPointF(7, 4.5), QPointF(3, 5), QPointF(3, 19), QPointF(7, 18.5),
                                  QPointF(12, 20.5), QPointF(17, 18.5), QPointF(21, 19), QPointF(21, 5), QPointF(17, 4.5),
                                  QPointF(12, 6.5), QPointF(12, 20.5)});
     }},
    {"chevron.up.chevron.down", "",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawPolyline(QPolygonF{QPointF(7, 9.5), QPointF(12, 4.5), QPointF(17, 9.5)});
         p.drawPolyline(QPolygonF{QPointF(7, 14.5), QPointF(12, 19.5), QPointF(17, 14.5)});
     }},
    {"antenna.radiowaves.left.and.right", "network-wireless",
     [](QPainter& p) {
         p.drawEllipse(QPointF(12, 12), 1.8, 1.8);
         p.setBrush(Qt::NoBrush);
         for (qreal r : {5.0, 9.0}) {
             const QRectF box(12 - r, 12 - r, 2 * r, 2 * r);
             p.drawArc(box, 135 * 16, 90 * 16);
             p.drawArc(box, -45 * 16, 90 * 16);
         }
     }},
    {"iphone", "phone",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawRoundedRect(QRectF(7, 2.5, 10, 19), 2.5, 2.5);
         p.drawLine(QPointF(10.5, 5), QPointF(13.5, 5));
     }},
    // A keypad phone, kept apart from "iphone" even where the theme has a phone icon.
    {"candybarphone", "",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawRoundedRect(QRectF(7, 2.5, 10, 19), 1.5, 1.5);
         p.drawRect(QRectF(9, 5, 6, 5));
         for (int row = 0; row < 3; ++row)
             for (int col = 0; col < 3; ++col) p.drawPoint(QPointF(9.5 + col * 2.5, 13 + row * 2.5));
     }},
    {"photo", "image-x-generic",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawRoundedRect(QRectF(3, 5, 18, 14), 2, 2);
         p.drawPolyline(QPolygonF{QPointF(3.5, 17), QPointF(9, 11.5), QPointF(13, 15.5), QPointF(15.5, 13),
                                  QPointF(20.5, 18)});
         p.drawEllipse(QPointF(15.5, 9), 1.5, 1.5);
     }},
    {"folder", "folder",
     [](QPainter& p) {
         p.setBrush(Qt::NoBrush);
         p.drawPolygon(QPolygonF{QPointF(3, 6), QPointF(9, 6), QPointF(11, 8), QPointF(21, 8), QPointF(21, 19),
                                 QPointF(3, 19)});
         p.drawLine(QPointF(3, 10.5), QPointF(21, 10.5));
     }},
};

const Entry* entry(const QString& symbol)
{
    static const QHash<QString, const Entry*> index = [] {
        QHash<QString, const Entry*> h;
        for (const Entry& e : kTable) h.insert(QString::fromLatin1(e.symbol), &e);
        return h;
    }();
    return index.value(symbol, nullptr);
}

// The theme's symbolic icon for a symbol, tinted like our drawings; a theme icon without the
// symbolic form keeps its own colours.
struct ThemeIcon {
    QIcon icon;
    bool tinted = false;
};

ThemeIcon themeIcon(const QString& symbol)
{
    const QString name = freedesktopName(symbol);
    if (name.isEmpty()) return {};
    const QString symbolic = name + QStringLiteral("-symbolic");
    if (QIcon::hasThemeIcon(symbolic)) return {QIcon::fromTheme(symbolic), true};
    if (QIcon::hasThemeIcon(name)) return {QIcon::fromTheme(name), false};
    return {};
}

class SymbolIconEngine : public QIconEngine {
public:
    SymbolIconEngine(QString symbol, QColor tint) : m_symbol(std::move(symbol)), m_tint(tint) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, render(rect.size(), dpr, mode, state));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override { return render(size, 1.0, mode, state); }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return render(size, scale, mode, state);
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(m_symbol, m_tint); }
    QString key() const override { return QStringLiteral("tavrin-symbol"); }
    QString iconName() override { return m_symbol; }

private:
    QColor colour(QIcon::Mode mode) const
    {
        const QPalette palette = QApplication::palette();
        if (m_tint.isValid()) {
            QColor c = m_tint;
            if (mode == QIcon::Disabled) c.setAlphaF(0.4);
            return c;
        }
        if (mode == QIcon::Disabled) return palette.color(QPalette::Disabled, QPalette::WindowText);
        if (mode == QIcon::Selected) return palette.color(QPalette::HighlightedText);
        return palette.color(QPalette::WindowText);
    }

    QPixmap render(const QSize& size, qreal dpr, QIcon::Mode mode, QIcon::State state)
    {
        if (size.isEmpty()) return {};
        const QColor tint = colour(mode);
        const QString cacheKey = QStringLiteral("tavrin-symbol:%1:%2x%3@%4:%5")
                                     .arg(m_symbol)
                                     .arg(size.width())
                                     .arg(size.height())
                                     .arg(dpr)
                                     .arg(tint.rgba(), 0, 16);
        QPixmap cached;
        if (QPixmapCache::find(cacheKey, &cached)) return cached;

        QImage image(size * dpr, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        image.setDevicePixelRatio(dpr);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal side = std::min(size.width(), size.height());
        const QPointF origin((size.width() - side) / 2.0, (size.height() - side) / 2.0);
        const ThemeIcon theme = themeIcon(m_symbol);
        if (!theme.icon.isNull()) {
            const QPixmap pm = theme.icon.pixmap(QSize(side, side), dpr, QIcon::Normal, state);
            p.drawPixmap(QRectF(origin, QSizeF(side, side)), pm, QRectF(pm.rect()));
            if (theme.tinted) {
                p.setCompositionMode(QPainter::CompositionMode_SourceIn);
                p.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), tint);
            }
        } else if (const Entry* e = entry(m_symbol)) {
            p.translate(origin);
            p.scale(side / 24.0, side / 24.0);
            p.setPen(QPen(tint, side <= 16 ? 2.0 : 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(tint);
            e->draw(p);
        }
        p.end();
        QPixmap result = QPixmap::fromImage(std::move(image));
        QPixmapCache::insert(cacheKey, result);
        return result;
    }

    QString m_symbol;
    QColor m_tint;
};

} // namespace

QIcon icon(const QString& symbol) { return QIcon(new SymbolIconEngine(symbol, QColor())); }
QIcon icon(const QString& symbol, const QColor& tint) { return QIcon(new SymbolIconEngine(symbol, tint)); }

QString freedesktopName(const QString& symbol)
{
    const Entry* e = entry(symbol);
    return e ? QString::fromLatin1(e->freedesktop) : QString();
}

QStringList all()
{
    QStringList names;
    for (const Entry& e : kTable) names.push_back(QString::fromLatin1(e.symbol));
    return names;
}

} // namespace tavrin::Symbols
