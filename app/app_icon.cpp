#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace app {

namespace {

QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);

  // The page being cut into pieces.
  p.setPen(QPen(QColor(90, 90, 110), 2));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(10, 6, 44, 54), 4, 4);
  p.setPen(QPen(QColor(170, 170, 190), 2, Qt::DashLine));
  p.drawLine(QPointF(14, 33), QPointF(50, 33));

  // The butterfly: two pairs of wings around a thin body.
  auto wing = [&](QRectF box, QColor colour) {
    p.setPen(QPen(colour.darker(150), 1.5));
    p.setBrush(colour);
    p.drawEllipse(box);
  };
  const QColor upper(232, 120, 40);
  const QColor lower(250, 180, 60);
  wing(QRectF(13, 12, 18, 20), upper);
  wing(QRectF(33, 12, 18, 20), upper);
  wing(QRectF(17, 30, 14, 16), lower);
  wing(QRectF(33, 30, 14, 16), lower);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 40, 30));
  p.drawRoundedRect(QRectF(30.5, 14, 3, 32), 1.5, 1.5);
  p.setPen(QPen(QColor(60, 40, 30), 1.2));
  p.drawLine(QPointF(32, 15), QPointF(27, 8));
  p.drawLine(QPointF(32, 15), QPointF(37, 8));
  return pixmap;
}

}  // namespace

QIcon MakeAppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(Draw(size));
  return icon;
}

}  // namespace app
