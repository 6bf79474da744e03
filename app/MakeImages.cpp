// configurator-images DIR: draws the window's pictures at the two scales the window is shown at
// (an ordinary screen and one at a scale factor of 2) into DIR: the logo (logo.png and
// logo@2x.png), the other product's logo (logo-alt.jpg, logo-alt@2x.jpg) and the current-mode
// mark (current-mode.png, current-mode@2x.png). The copies in app/resources are made by it:
//     cmake --build build/release --target configurator-images
//     QT_QPA_PLATFORM=offscreen build/release/app/configurator-images app/resources
// Drawn, not scaled: a picture scaled up from its small size looks blurred on a sharp screen.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

// The application's icon (icon.svg) in a square of `size` at `origin`.
void DrawIcon(QPainter& p, QPointF origin, double size) {
    p.save();
    p.translate(origin);
    p.scale(size / 256, size / 256);
    QLinearGradient body(0, 0, 0, 256);
    body.setColorAt(0, QColor("#1479A8"));
    body.setColorAt(1, QColor("#0B3C5D"));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(0, 0, 256, 256), 56, 56);
    QPainterPath wave;
    wave.moveTo(48, 144);
    for (const QPointF& to :
         {QPointF(80, 144), QPointF(80, 80), QPointF(128, 80), QPointF(128, 160), QPointF(176, 160),
          QPointF(176, 96), QPointF(208, 96)})
        wave.lineTo(to);
    p.setPen(QPen(Qt::white, 32, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor("#22B5A8"));
    p.drawRoundedRect(QRectF(48, 192, 160, 16), 8, 8);
    p.restore();
}

QFont Face(const char* family, double pixels, bool bold, bool italic = false) {
    QFont f(family);
    f.setPixelSize(qRound(pixels));
    f.setBold(bold);
    f.setItalic(italic);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// 200 x 73: the icon, the name over a rule, and the maker.
void DrawLogo(QPainter& p) {
    p.fillRect(QRectF(0, 0, 200, 73), Qt::white);
    DrawIcon(p, QPointF(6, 12), 50);
    p.setPen(QColor("#0B3C5D"));
    p.setFont(Face("DejaVu Sans", 19.5, true));
    p.drawText(QPointF(65, 37), "KORVANTA");
    p.fillRect(QRectF(66, 42, 128, 2), QColor("#22B5A8"));
    p.setPen(QColor("#5A6570"));
    p.setFont(Face("DejaVu Sans", 10.5, false));
    p.drawText(QPointF(66, 57), "by Veltrask Instruments");
}

// 200 x 75: the other product's name on dark ground between two rules.
void DrawAltLogo(QPainter& p) {
    p.fillRect(QRectF(0, 0, 200, 75), QColor("#1E1F22"));
    p.setPen(Qt::white);
    p.setFont(Face("DejaVu Sans", 22, true, true));
    p.drawText(QRectF(0, 10, 200, 36), Qt::AlignCenter, "ZODereZER");
    p.fillRect(QRectF(10, 50, 110, 3), QColor("#F08A24"));
    p.fillRect(QRectF(126, 50, 64, 3), QColor("#5C6470"));
}

// 16 x 16: a green disc with a white tick.
void DrawCurrentMode(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor("#2E9E44"));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    QPainterPath tick;
    tick.moveTo(4.2, 8.3);
    tick.lineTo(7, 11);
    tick.lineTo(11.8, 5.4);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

bool Write(const QDir& dir, const QString& name, const char* suffix, QSize size, bool alpha,
           const std::function<void(QPainter&)>& draw) {
    bool ok = true;
    for (const int scale : {1, 2}) {
        QImage image(size * scale,
                     alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        p.scale(scale, scale);
        draw(p);
        p.end();
        const QString file =
            dir.filePath(name + (scale == 1 ? QString() : QString("@2x")) + "." + suffix);
        const bool saved = image.save(file, nullptr, 95);
        std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
        ok = ok && saved;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: configurator-images DIR\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool ok = Write(dir, "logo", "png", {200, 73}, false, DrawLogo);
    ok = Write(dir, "logo-alt", "jpg", {200, 75}, false, DrawAltLogo) && ok;
    ok = Write(dir, "current-mode", "png", {16, 16}, true, DrawCurrentMode) && ok;
    return ok ? 0 : 1;
}
