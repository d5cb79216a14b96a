// Draws the program's pictures: the splash picture (Splash98.png, 473 x 337) and the short
// animation of the function bar (tolvern.gif, played once). Not part of the build; run by hand:
//   g++ -std=c++17 -fPIC make_images.cpp $(pkg-config --cflags --libs Qt6Gui) -o make_images
//   QT_QPA_PLATFORM=offscreen ./make_images <output folder>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QVector>

#include <cmath>
#include <cstdio>
#include <map>

namespace {

const QColor kOrange(255, 128, 0);
const QColor kSlate(90, 85, 87);

QImage splash()
{
    QImage image(473, 337, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 337);
    sky.setColorAt(0, QColor(255, 255, 255));
    sky.setColorAt(1, QColor(246, 241, 236));
    p.fillRect(image.rect(), sky);

    // A small network: hosts joined by links, one of them answering, one failing.
    const QPointF nodes[] = {{330, 70}, {410, 120}, {360, 185}, {430, 230}, {290, 150}, {395, 290}};
    const int links[][2] = {{0, 1}, {0, 4}, {1, 2}, {2, 4}, {2, 3}, {3, 5}, {1, 3}};
    p.setPen(QPen(QColor(200, 192, 186), 2));
    for (const auto& l : links)
        p.drawLine(nodes[l[0]], nodes[l[1]]);
    for (int i = 0; i < 6; ++i) {
        const QColor fill = i == 3 ? QColor(214, 40, 40) : i == 2 ? kOrange : QColor(120, 170, 90);
        QRadialGradient glow(nodes[i], 22);
        glow.setColorAt(0, QColor(fill.red(), fill.green(), fill.blue(), 90));
        glow.setColorAt(1, QColor(fill.red(), fill.green(), fill.blue(), 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(nodes[i], 22, 22);
        p.setBrush(fill);
        p.setPen(QPen(Qt::white, 2));
        p.drawEllipse(nodes[i], 9, 9);
    }
    // Pulse rings around the checked host.
    p.setBrush(Qt::NoBrush);
    for (int r = 0; r < 3; ++r) {
        p.setPen(QPen(QColor(255, 128, 0, 160 - r * 50), 2));
        p.drawEllipse(nodes[2], 18 + r * 12, 18 + r * 12);
    }

    p.fillRect(QRect(0, 0, 16, 337), kOrange);
    p.fillRect(QRect(0, 297, 473, 40), kSlate);

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(54);
    title.setBold(true);
    p.setFont(title);
    p.setPen(kSlate);
    p.drawText(QRect(40, 70, 300, 70), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quorvel"));
    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(16);
    p.setFont(sub);
    p.setPen(kOrange);
    p.drawText(QRect(44, 140, 260, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("service monitor"));
    sub.setPixelSize(12);
    p.setFont(sub);
    p.setPen(QColor(110, 104, 106));
    p.drawText(QRect(44, 180, 240, 80), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               QStringLiteral("Web, ping, mail and FTP checks every minute, with alarms by e-mail, SMS and syslog."));
    p.setPen(Qt::white);
    p.drawText(QRect(40, 297, 300, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Version 1.5.0"));
    p.drawText(QRect(200, 297, 260, 40), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("tolvern"));
    return image;
}

QImage animationFrame(int frame, int frames)
{
    QImage image(100, 40, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(20, 20);
    p.setPen(QPen(QColor(170, 165, 167), 1));
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 16, 16);
    p.drawEllipse(centre, 9, 9);
    // A sweeping beam, one turn over the animation.
    const double angle = 360.0 * frame / frames;
    QPainterPath beam;
    beam.moveTo(centre);
    beam.arcTo(QRectF(4, 4, 32, 32), 90 - angle, 50);
    beam.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 128, 0, 150));
    p.drawPath(beam);
    p.setBrush(kOrange);
    p.drawEllipse(centre, 2.5, 2.5);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kSlate);
    const QString word = QStringLiteral("tolvern");
    const int shown = std::min<int>(word.size(), frame * word.size() / (frames / 2) + 1);
    p.drawText(QRect(42, 0, 58, 40), Qt::AlignLeft | Qt::AlignVCenter, word.left(shown));
    return image;
}

// ---- a small GIF89a writer: one fixed 216-colour cube plus greys, LZW-compressed frames -------

QVector<QRgb> palette()
{
    QVector<QRgb> colours;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                colours << qRgb(r * 51, g * 51, b * 51);
    for (int i = 0; i < 40; ++i)
        colours << qRgb(i * 255 / 39, i * 255 / 39, i * 255 / 39);
    return colours;
}

int nearest(const QVector<QRgb>& colours, QRgb c, std::map<QRgb, int>& cache)
{
    const auto hit = cache.find(c);
    if (hit != cache.end())
        return hit->second;
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < colours.size(); ++i) {
        const long dr = qRed(c) - qRed(colours[i]);
        const long dg = qGreen(c) - qGreen(colours[i]);
        const long db = qBlue(c) - qBlue(colours[i]);
        const long d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    cache[c] = best;
    return best;
}

class BitWriter
{
public:
    void put(int code, int width)
    {
        m_accumulator |= static_cast<quint32>(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes.append(static_cast<char>(m_accumulator & 0xFF));
            m_accumulator >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_bits > 0)
            m_bytes.append(static_cast<char>(m_accumulator & 0xFF));
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    quint32 m_accumulator = 0;
    int m_bits = 0;
};

QByteArray lzw(const QVector<int>& indexes, int minCodeSize)
{
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    BitWriter out;
    std::map<std::pair<int, int>, int> table;
    int next = end + 1;
    int width = minCodeSize + 1;
    out.put(clear, width);
    int prefix = indexes.isEmpty() ? -1 : indexes[0];
    for (int i = 1; i < indexes.size(); ++i) {
        const int k = indexes[i];
        const auto found = table.find({prefix, k});
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        out.put(prefix, width);
        if (next < 4096) {
            table[{prefix, k}] = next++;
            if (next > (1 << width) && width < 12)
                ++width;
        } else {
            out.put(clear, width);
            table.clear();
            next = end + 1;
            width = minCodeSize + 1;
        }
        prefix = k;
    }
    if (prefix >= 0)
        out.put(prefix, width);
    out.put(end, width);
    return out.finish();
}

void put16(QByteArray& b, int v)
{
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>((v >> 8) & 0xFF));
}

QByteArray gif(const QVector<QImage>& frames, int delayCentiseconds)
{
    const QVector<QRgb> colours = palette();
    const int w = frames.first().width();
    const int h = frames.first().height();
    QByteArray b("GIF89a");
    put16(b, w);
    put16(b, h);
    b.append(static_cast<char>(0xF7)); // global table of 256 entries
    b.append('\0');
    b.append('\0');
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < colours.size() ? colours[i] : qRgb(0, 0, 0);
        b.append(static_cast<char>(qRed(c)));
        b.append(static_cast<char>(qGreen(c)));
        b.append(static_cast<char>(qBlue(c)));
    }
    // No looping extension: the animation plays once.
    std::map<QRgb, int> cache;
    for (const QImage& frame : frames) {
        b.append("\x21\xF9\x04", 3);
        b.append('\x04'); // disposal: do not dispose
        put16(b, delayCentiseconds);
        b.append('\0');
        b.append('\0');
        b.append('\x2C');
        put16(b, 0);
        put16(b, 0);
        put16(b, w);
        put16(b, h);
        b.append('\0');
        QVector<int> indexes;
        indexes.reserve(w * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                indexes << nearest(colours, frame.pixel(x, y) | 0xFF000000u, cache);
        b.append('\x08');
        const QByteArray data = lzw(indexes, 8);
        for (int at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            b.append(static_cast<char>(block.size()));
            b.append(block);
        }
        b.append('\0');
    }
    b.append('\x3B');
    return b;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    if (!splash().save(folder + QStringLiteral("/Splash98.png"), "PNG")) {
        std::fprintf(stderr, "cannot write Splash98.png\n");
        return 1;
    }
    QVector<QImage> frames;
    const int count = 30;
    for (int i = 0; i < count; ++i)
        frames << animationFrame(i, count);
    QFile out(folder + QStringLiteral("/tolvern.gif"));
    if (!out.open(QIODevice::WriteOnly) || out.write(gif(frames, 5)) < 0) {
        std::fprintf(stderr, "cannot write tolvern.gif\n");
        return 1;
    }
    return 0;
}
